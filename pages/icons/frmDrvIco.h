// The drive icon page: the icon the shell shows for one drive letter, kept as the default value
// of DriveIcons\<LETTER>\DefaultIcon. Apply writes the box's text there after the shared
// question; the page never deletes a drive's icon, and closing it asks nothing.
#pragma once

#include "Page.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmDrvIco : public Page
{
    Q_OBJECT

public:
    explicit frmDrvIco(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    void Form_Unload() override {}

private:
    void Drv_Change();
    void cmdbrowse_Click();
    void cmdAP_Click();
    QString DefaultIconKey() const;

    QLabel *lblCDrv;
    QComboBox *Drv;
    QLabel *lblCIco;
    QLineEdit *txtIcoP;
    QPushButton *cmdbrowse;
    QLabel *lblHelp;
    QPushButton *cmdAP;
};
