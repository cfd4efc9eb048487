// The virtual drive page: mounts a folder as a drive letter and removes such a letter again with
// the system's Subst command. The letter lists are rebuilt one second after each command, and
// the page is locked until then.
#pragma once

#include "Page.h"

class DriveFolderList;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

class frmVHDD : public Page
{
    Q_OBJECT

public:
    explicit frmVHDD(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    // Commands run at once; closing asks nothing.
    void Form_Unload() override {}

private:
    void drvTH_Change();
    void cmdMount_Click();
    void cmdUm_Click();
    void tmrRefresh_Timer();

    void FillDriveLists();
    void RunSubst(const QString &commandLine);
    void SetCommandsEnabled(bool enabled);

    QGroupBox *frmMount;
    QComboBox *drvTH;
    QListWidget *DirTH;
    QLabel *lblSymb;
    QComboBox *cbDrive;
    QPushButton *cmdMount;
    QGroupBox *frmUnMount;
    QLabel *lblSymb2;
    QComboBox *cbUm;
    QPushButton *cmdUm;
    QLabel *lblHelp;
    QTimer *tmrRefresh;
    DriveFolderList *folders_ = nullptr;
};
