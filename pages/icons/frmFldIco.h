// The folder icon page: gives one folder its own icon the way the shell expects, through a
// Desktop.ini in the folder and the folder's system attribute. The icon file is used where it
// lies or first copied into the folder under a numbered name. Every change is made at once,
// after a question; closing the page asks nothing.
#pragma once

#include "Page.h"

#include <array>

class DriveFolderList;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class frmFldIco : public Page
{
    Q_OBJECT

public:
    explicit frmFldIco(QWidget *parent = nullptr);

    // True when the second character is ":", as in C:\Icons\a.ico: an absolute "IconFile".
    static bool IsFullPath(const QString &s);

protected:
    void Form_Load() override;
    void Form_Unload() override {}

private:
    void Drv_Change();
    void Dir1_Click();
    void cmdbrowse_Click();
    void cdmApply_Click();
    void cmdNoIco_Click();
    void ShowFolderIcon();
    void ApplyFolderIcon(const QString &folder);
    QString SelectedFolder() const;

    std::array<QLabel *, 3> lbl;
    QComboBox *Drv;
    QListWidget *Dir1;
    QLineEdit *txtIco;
    QPushButton *cmdbrowse;
    QCheckBox *chk;
    QPushButton *cdmApply;
    QPushButton *cmdNoIco;
    QLabel *curIco;
    DriveFolderList *folders_;
};
