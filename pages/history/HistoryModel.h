// The history as a log: one row per group of changes made together (one page save, one undo),
// newest first, that opens to the changes it holds.
#pragma once

#include "journal.h"

#include <QAbstractTableModel>
#include <vector>

class HistoryModel : public QAbstractTableModel
{
public:
    enum Column { Time, PageColumn, Setting, Before, After, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Takes the journal's records, oldest first; every group starts closed.
    void SetRecords(const std::vector<journal::Record> &oldestFirst);
    bool Empty() const { return groups_.empty(); }

    // Opens a group row to show its changes, or closes it; other rows are left alone.
    void Toggle(int row);
    bool IsGroupRow(int row) const;

    // The changes a row stands for, newest first: a group's all, or one change.
    std::vector<journal::Record> ChangesOf(int row) const;
    // Every change not undone yet, newest first, from the newest back to and with the group of
    // row `row`.
    std::vector<journal::Record> ChangesBackTo(int row) const;
    // The row's changes that no undo has taken back yet, newest first.
    std::vector<journal::Record> PendingChangesOf(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Group {
        std::vector<journal::Record> changes; // newest first
        bool open = false;
    };
    struct Row {
        int group = 0;
        int change = -1; // -1 for the group's own row
    };

    void Flatten();
    // The change of a row that shows one; nullptr for a group's row.
    const journal::Record *Change(const Row &row) const;
    QVariant GroupText(const Group &group, int column) const;
    QVariant ChangeText(const journal::Record &change, int column) const;
    // The setting as the log names it: by the caption its page shows for it, else by its path.
    QString SettingText(const journal::Record &change) const;
    // The change that `change` undid, or nullptr.
    const journal::Record *UndoneBy(const journal::Record &change) const;
    QString Undoes(const journal::Record &change) const;
    bool Undone(const journal::Record &change) const;

    std::vector<Group> groups_; // newest first
    std::vector<Row> rows_;
    std::vector<journal::Record> all_; // oldest first, for finding what an undo undid
};

// The texts of one change, in the interface language: what was changed (its registry path,
// file or drive) and a state of it.
QString WhatChanged(const journal::Record &record);
QString StateText(const journal::Record &record, const journal::State &state);
// Whether programs see a difference: a missing value written as 0 or "" reads the same.
bool SeenByPrograms(const journal::Record &record);
