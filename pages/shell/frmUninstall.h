// The uninstall list page: the programs registered for removal, by their display names. "Hide"
// removes a registration without uninstalling anything; "Uninstall" starts the program's
// uninstaller. Both act at once and refresh the list.
#pragma once

#include "Page.h"

class QLabel;
class QListWidget;
class QPushButton;

class frmUninstall : public Page
{
    Q_OBJECT

public:
    explicit frmUninstall(QWidget *parent = nullptr);

protected:
    // Also the refresh after each button.
    void Form_Load() override;
    // Both buttons act at once: closing has nothing to save.
    void Form_Unload() override {}

private:
    void lbScr_Click(int row);
    void cmdDel_Click();
    void cmdUninst_Click();

    // The one row that says there is nothing to show, with both buttons disabled.
    void ShowNoPrograms();
    // The registration's key below HKEY_LOCAL_MACHINE; empty when SelIndex names no row.
    QString SelectedKey() const;
    QString SelectedSubKeyName() const;

    QListWidget *lbScr;
    // The subkey names, row for row beside lbScr; never shown.
    QListWidget *lbN;
    QPushButton *cmdUninst;
    QPushButton *cmdDel;
    QLabel *lblHLP;

    qint16 SelIndex = 0;
};
