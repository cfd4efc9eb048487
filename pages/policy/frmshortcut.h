// The shortcut appearance page: the text put in front of new shortcut names and the arrow drawn
// over shortcut icons. Apply writes at once; otherwise closing a changed page asks whether to
// save.
#pragma once

#include "Page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmshortcut : public Page
{
    Q_OBJECT

public:
    explicit frmshortcut(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    void Save() override;

private:
    void chkns_Click();
    void chkni_Click();
    void txtShortCut_Change();
    void btnApply_Click();

    QLabel *lbltxt;
    QLineEdit *txtShortCut;
    QCheckBox *chkns;
    QCheckBox *chkni;
    QPushButton *btnApply;
};
