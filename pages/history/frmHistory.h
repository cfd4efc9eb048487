// The history of changes: every change Korvex made to this machine, as a log of the saves that
// made them, newest first, with what each replaced. A change, a save's changes, every change
// back to one, or all can be undone, and changes exported as a REGEDIT4 file for the registry
// editor of another machine.
#pragma once

#include "Page.h"
#include "journal.h"

#include <vector>

class HistoryModel;
class QLabel;
class QPushButton;
class QTableView;

class frmHistory : public Page
{
    Q_OBJECT

public:
    explicit frmHistory(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    void Form_Unload() override {}

private:
    void FillList();
    // Undoes the changes, newest first; stops at the first that fails.
    void UndoChanges(const std::vector<journal::Record> &changes);
    // The buttons act on what there is: nothing to undo or export leaves them off.
    void EnableButtons();
    int CurrentRow() const;

    void cmdUndo_Click();
    void cmdUndoTo_Click();
    void cmdUndoAll_Click();
    void cmdExport_Click();

    QTableView *lstHist;
    QLabel *lblEmpty;
    QPushButton *cmdUndo;
    QPushButton *cmdUndoTo;
    QPushButton *cmdUndoAll;
    QPushButton *cmdExport;
    HistoryModel *model_;
};
