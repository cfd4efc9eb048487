// The history of changes: every change Korvex made to this machine, newest first, with what
// it replaced. A change, every change back to one, or all can be undone, and changes exported
// as a REGEDIT4 file for the registry editor of another machine.
#pragma once

#include "Page.h"
#include "journal.h"

#include <vector>

class QListWidget;
class QPushButton;

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
    // The recorded changes from the newest back to and with row `row` of the list, which an
    // undo has not taken back yet.
    std::vector<journal::Record> ChangesBackTo(int row) const;

    void cmdUndo_Click();
    void cmdUndoTo_Click();
    void cmdUndoAll_Click();
    void cmdExport_Click();

    QListWidget *lstHist;
    QPushButton *cmdUndo;
    QPushButton *cmdUndoTo;
    QPushButton *cmdUndoAll;
    QPushButton *cmdExport;
    std::vector<journal::Record> records_; // newest first, as listed
};

// One line of the list for a change, in the interface language.
QString DescribeChange(const journal::Record &record);
