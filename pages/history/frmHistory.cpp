#include "frmHistory.h"

#include "DialogBox.h"
#include "RegExport.h"
#include "Strings.h"
#include "change_bracket.h"
#include "frmTR.h"
#include "machine.h"
#include "win32.h"

#include <QApplication>
#include <QDateTime>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSet>
#include <QtEndian>
#include <algorithm>

namespace
{

using journal::Kind;
using journal::Record;
using journal::State;

constexpr int kIdHistory = 1000;
constexpr int kIdUndo = 1001;
constexpr int kIdUndoTo = 1002;
constexpr int kIdUndoAll = 1003;
constexpr int kIdExport = 1004;
constexpr int kIdDidNotExist = 1005;
constexpr int kIdDeleted = 1006;
constexpr int kIdKeyCreated = 1007;
constexpr int kIdKeyDeleted = 1008;
constexpr int kIdUndoOf = 1009;
constexpr int kIdConflict = 1010;
constexpr int kIdRegFilter = 1011;
constexpr int kIdNotWritten = 1012;
constexpr int kIdNotUndone = 1013;
constexpr int kIdBytes = 1014;
constexpr int kIdDrive = 1015;
constexpr int kIdAttributes = 1016;
constexpr int kIdErrorCode = 1105; // the save report's "Windows reported error %1."

// Design geometry in twips: the list fills the page above a row of buttons.
constexpr int kButtonWidth = 1350;
constexpr int kButtonStep = kButtonWidth + 120;
constexpr int kButtonTop = 4440;
constexpr Placement kLayout[] = {
    {"lstHist", {120, 120, 6480, kButtonTop - 240}, kFills},
    {"cmdUndo", {120, kButtonTop, kButtonWidth, 375}, kMovesDown},
    {"cmdUndoTo", {120 + kButtonStep, kButtonTop, kButtonWidth, 375}, kMovesDown},
    {"cmdUndoAll", {120 + 2 * kButtonStep, kButtonTop, kButtonWidth, 375}, kMovesDown},
    {"cmdExport", {120 + 3 * kButtonStep, kButtonTop, kButtonWidth, 375}, kMovesDown},
};
constexpr int kShownBytes = 24; // of binary data, in the list

QString FromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString TimeOf(std::int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString ValueText(const State &s)
{
    if (!s.exists)
        return LoadResString(kIdDidNotExist);
    const QByteArray raw(s.data.data(), static_cast<qsizetype>(s.data.size()));
    switch (s.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        QString text = FromUtf8(s.data);
        while (text.endsWith(QChar(0)))
            text.chop(1);
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    case REG_DWORD:
        if (raw.size() == 4)
            return QString::number(qFromLittleEndian<quint32>(raw.constData()));
        break;
    default: break;
    }
    QString hex = QString::fromLatin1(raw.left(kShownBytes).toHex(' '));
    return raw.size() > kShownBytes ? hex + QStringLiteral(" ...") : hex;
}

QString StateText(const Record &r, const State &s)
{
    switch (r.kind) {
    case Kind::Value: return ValueText(s);
    case Kind::KeyCreated:
    case Kind::KeyDeleted:
        return s.exists ? LoadResString(r.kind == Kind::KeyCreated ? kIdKeyCreated : kIdDidNotExist)
                        : LoadResString(r.kind == Kind::KeyCreated ? kIdDidNotExist : kIdKeyDeleted);
    case Kind::Profile:
        return s.exists ? QLatin1Char('"') + FromUtf8(s.data) + QLatin1Char('"') : LoadResString(kIdDidNotExist);
    case Kind::File: return s.exists ? LoadResString(kIdBytes).arg(s.data.size()) : LoadResString(kIdDidNotExist);
    case Kind::Attributes:
        return s.exists ? QString::number(s.type, 16).rightJustified(2, QLatin1Char('0')) : LoadResString(kIdDeleted);
    case Kind::Drive: return s.exists ? FromUtf8(s.data) : LoadResString(kIdDidNotExist);
    }
    return {};
}

QString WhatChanged(const Record &r)
{
    const QString target = FromUtf8(r.target);
    switch (r.kind) {
    case Kind::Value: return target + QStringLiteral(" \"") + FromUtf8(r.name) + QLatin1Char('"');
    case Kind::Profile: {
        const std::size_t split = r.name.find('\0');
        return target + QStringLiteral(" [") + FromUtf8(r.name.substr(0, split)) + QStringLiteral("] ") +
               FromUtf8(r.name.substr(split + 1));
    }
    case Kind::Attributes: return target + QLatin1Char(' ') + LoadResString(kIdAttributes);
    case Kind::Drive: return LoadResString(kIdDrive) + QLatin1Char(' ') + target;
    default: return target;
    }
}

QString PageCaption(const std::string &page)
{
    return page.empty() ? QStringLiteral("-") : frmTR::CaptionOfKey(FromUtf8(page));
}

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

QString DescribeChange(const Record &r)
{
    QString line = TimeOf(r.time) + QStringLiteral("  ") + PageCaption(r.page) + QStringLiteral("  ") + WhatChanged(r) +
                   QStringLiteral(":  ") + StateText(r, r.before) + QStringLiteral(" -> ") + StateText(r, r.after);
    if (r.undoes)
        line += QStringLiteral("  (") + LoadResString(kIdUndoOf).arg(QString::number(r.undoes)) + QLatin1Char(')');
    return line;
}

frmHistory::frmHistory(QWidget *parent) : Page(parent)
{
    setObjectName(QStringLiteral("frmHistory"));
    lstHist = NewControl<QListWidget>("lstHist", this);
    lstHist->setSelectionMode(QAbstractItemView::ExtendedSelection);
    cmdUndo = NewControl<QPushButton>("cmdUndo", this);
    cmdUndoTo = NewControl<QPushButton>("cmdUndoTo", this);
    cmdUndoAll = NewControl<QPushButton>("cmdUndoAll", this);
    cmdExport = NewControl<QPushButton>("cmdExport", this);
    LayOut(this, kLayout);
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
    FillList();
}

void frmHistory::FillList()
{
    records_ = journal::Records();
    std::reverse(records_.begin(), records_.end());
    lstHist->clear();
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(records_.size()));
    for (const Record &r : records_)
        lines << DescribeChange(r);
    lstHist->addItems(lines);
}

std::vector<Record> frmHistory::ChangesBackTo(int row) const
{
    QSet<std::uint64_t> undone;
    for (const Record &r : records_)
        if (r.undoes)
            undone.insert(r.undoes);
    std::vector<Record> changes;
    for (int i = 0; i <= row && i < static_cast<int>(records_.size()); ++i) {
        const Record &r = records_[static_cast<std::size_t>(i)];
        if (!r.undoes && !undone.contains(r.id))
            changes.push_back(r);
    }
    return changes;
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
    const int row = lstHist->currentRow();
    if (row >= 0 && row < static_cast<int>(records_.size()))
        UndoChanges(journal::GroupOf(records_[static_cast<std::size_t>(row)], records_));
}

void frmHistory::cmdUndoTo_Click()
{
    if (const int row = lstHist->currentRow(); row >= 0)
        UndoChanges(ChangesBackTo(row));
}

void frmHistory::cmdUndoAll_Click()
{
    UndoChanges(ChangesBackTo(static_cast<int>(records_.size()) - 1));
}

void frmHistory::cmdExport_Click()
{
    std::vector<Record> changes;
    for (int row = static_cast<int>(records_.size()) - 1; row >= 0; --row) // oldest first
        if (lstHist->item(row)->isSelected())
            changes.push_back(records_[static_cast<std::size_t>(row)]);
    if (changes.empty())
        changes.assign(records_.rbegin(), records_.rend());
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
