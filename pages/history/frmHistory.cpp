#include "frmHistory.h"

#include "DialogBox.h"
#include "HistoryModel.h"
#include "RegExport.h"
#include "Strings.h"
#include "change_bracket.h"
#include "machine.h"
#include "win32.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <algorithm>

namespace
{

using journal::Record;

constexpr int kIdHistory = 1000;
constexpr int kIdUndo = 1001;
constexpr int kIdUndoTo = 1002;
constexpr int kIdUndoAll = 1003;
constexpr int kIdExport = 1004;
constexpr int kIdConflict = 1010;
constexpr int kIdRegFilter = 1011;
constexpr int kIdNotWritten = 1012;
constexpr int kIdNotUndone = 1013;
constexpr int kIdEmpty = 1037;
constexpr int kIdErrorCode = 1105; // the save report's "Windows reported error %1."

// Design geometry in twips: the log fills the page above a row of buttons; when there is
// nothing to show, a line saying so stands in its place.
constexpr int kButtonWidth = 1350;
constexpr int kButtonStep = kButtonWidth + 120;
constexpr int kButtonTop = 4440;
constexpr Placement kLayout[] = {
    {"lstHist", {120, 120, 6480, kButtonTop - 240}, kFills},
    {"lblEmpty", {120, 120, 6480, 495}, kWidens},
    {"cmdUndo", {120, kButtonTop, kButtonWidth, 375}, kMovesDown},
    {"cmdUndoTo", {120 + kButtonStep, kButtonTop, kButtonWidth, 375}, kMovesDown},
    {"cmdUndoAll", {120 + 2 * kButtonStep, kButtonTop, kButtonWidth, 375}, kMovesDown},
    {"cmdExport", {120 + 3 * kButtonStep, kButtonTop, kButtonWidth, 375}, kMovesDown},
};

AnsiCodePage InterfaceCodePage()
{
    return UserInterfaceLanguage() == InterfaceLanguage::Russian ? AnsiCodePage::Cyrillic1251
                                                                 : AnsiCodePage::Western1252;
}

// Asks before undoing a change that something else has changed since.
bool OverwriteAnyway(const Record &r, QWidget *parent)
{
    const QString text =
        LoadResString(kIdConflict).arg(WhatChanged(r), StateText(r, journal::CurrentState(r)), StateText(r, r.after));
    QMessageBox box(QMessageBox::Question, LoadResString(kIdHistory), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

frmHistory::frmHistory(QWidget *parent) : Page(parent), model_(new HistoryModel(this))
{
    setObjectName(QStringLiteral("frmHistory"));
    lstHist = NewControl<QTableView>("lstHist", this);
    lstHist->setModel(model_);
    lstHist->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstHist->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstHist->setShowGrid(false);
    lstHist->setWordWrap(false);
    lstHist->verticalHeader()->hide();
    lstHist->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstHist->horizontalHeader()->setSectionResizeMode(HistoryModel::Setting, QHeaderView::Stretch);
    lblEmpty = NewControl<QLabel>("lblEmpty", this);
    lblEmpty->setWordWrap(true);
    cmdUndo = NewControl<QPushButton>("cmdUndo", this);
    cmdUndoTo = NewControl<QPushButton>("cmdUndoTo", this);
    cmdUndoAll = NewControl<QPushButton>("cmdUndoAll", this);
    cmdExport = NewControl<QPushButton>("cmdExport", this);
    LayOut(this, kLayout);
    // Enter or a double click opens a save's row to its changes, and closes it again.
    connect(lstHist, &QTableView::activated, this, [this](const QModelIndex &index) { model_->Toggle(index.row()); });
    connect(lstHist->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmHistory::EnableButtons);
    connect(lstHist->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &frmHistory::EnableButtons);
    connect(cmdUndo, &QPushButton::clicked, this, &frmHistory::cmdUndo_Click);
    connect(cmdUndoTo, &QPushButton::clicked, this, &frmHistory::cmdUndoTo_Click);
    connect(cmdUndoAll, &QPushButton::clicked, this, &frmHistory::cmdUndoAll_Click);
    connect(cmdExport, &QPushButton::clicked, this, &frmHistory::cmdExport_Click);
}

void frmHistory::Form_Load()
{
    cmdUndo->setText(LoadResString(kIdUndo));
    cmdUndoTo->setText(LoadResString(kIdUndoTo));
    cmdUndoAll->setText(LoadResString(kIdUndoAll));
    cmdExport->setText(LoadResString(kIdExport));
    lblEmpty->setText(LoadResString(kIdEmpty));
    FillList();
}

void frmHistory::FillList()
{
    model_->SetRecords(journal::Records());
    lstHist->setVisible(!model_->Empty());
    lblEmpty->setVisible(model_->Empty());
    EnableButtons();
}

int frmHistory::CurrentRow() const
{
    const QModelIndex current = lstHist->currentIndex();
    return current.isValid() && lstHist->selectionModel()->isRowSelected(current.row()) ? current.row() : -1;
}

void frmHistory::EnableButtons()
{
    const int row = CurrentRow();
    cmdUndo->setEnabled(row >= 0 && !model_->PendingChangesOf(row).empty());
    cmdUndoTo->setEnabled(row >= 0 && !model_->ChangesBackTo(row).empty());
    cmdUndoAll->setEnabled(!model_->ChangesBackTo(model_->rowCount() - 1).empty());
    cmdExport->setEnabled(!model_->Empty());
}

void frmHistory::UndoChanges(const std::vector<Record> &changes)
{
    journal::SetPage("History");
    // One undo is one bracket: the registry files are written once, and not at all when any
    // change of it cannot be undone.
    win::ChangeBracket bracket;
    const Record *failed = nullptr;
    long rc = ERROR_SUCCESS;
    for (const Record &r : changes) {
        if (!journal::StillAsWritten(r) && !OverwriteAnyway(r, this))
            continue;
        if (rc = journal::Undo(r); rc != ERROR_SUCCESS) {
            failed = &r;
            break;
        }
    }
    const long written = bracket.End(!failed);
    if (!failed && written != ERROR_SUCCESS && !changes.empty()) {
        failed = &changes.front();
        rc = written;
    }
    if (failed)
        QMessageBox::warning(this, LoadResString(kIdHistory),
                             LoadResString(kIdNotUndone) + QLatin1Char('\n') + WhatChanged(*failed) +
                                 QLatin1Char('\n') + LoadResString(kIdErrorCode).arg(rc));
    FillList();
}

void frmHistory::cmdUndo_Click()
{
    if (const int row = CurrentRow(); row >= 0)
        UndoChanges(model_->PendingChangesOf(row));
}

void frmHistory::cmdUndoTo_Click()
{
    if (const int row = CurrentRow(); row >= 0)
        UndoChanges(model_->ChangesBackTo(row));
}

void frmHistory::cmdUndoAll_Click()
{
    UndoChanges(model_->ChangesBackTo(model_->rowCount() - 1));
}

void frmHistory::cmdExport_Click()
{
    std::vector<Record> changes;
    for (const QModelIndex &selected : lstHist->selectionModel()->selectedRows())
        for (const Record &r : model_->ChangesOf(selected.row()))
            if (std::none_of(changes.begin(), changes.end(), [&r](const Record &c) { return c.id == r.id; }))
                changes.push_back(r);
    // Nothing chosen exports everything; either way oldest first, as they were made.
    if (changes.empty())
        changes = journal::Records();
    else
        std::sort(changes.begin(), changes.end(), [](const Record &a, const Record &b) { return a.id < b.id; });
    const QString path = DialogBox().SaveFile(QString(), LoadResString(kIdExport), LoadResString(kIdRegFilter));
    if (path.isEmpty())
        return;
    const QString host = QString::fromStdString(win::HostPathOf(path.toStdString()));
    QSaveFile file(host.isEmpty() ? path : host);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(RegExportBytes(changes, InterfaceCodePage())) >= 0 && file.commit();
    if (!written)
        QMessageBox::warning(this, LoadResString(kIdHistory),
                             LoadResString(kIdNotWritten) + QLatin1Char('\n') + path + QLatin1Char('\n') +
                                 file.errorString());
}
