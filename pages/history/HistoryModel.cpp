#include "HistoryModel.h"

#include "PageCatalogue.h"
#include "Strings.h"
#include "frmTR.h"
#include "win32.h"

#include <QDateTime>
#include <QFont>
#include <QSet>
#include <QtEndian>
#include <algorithm>

namespace
{

using journal::Kind;
using journal::Record;
using journal::State;

constexpr int kIdDidNotExist = 1005;
constexpr int kIdDeleted = 1006;
constexpr int kIdKeyCreated = 1007;
constexpr int kIdKeyDeleted = 1008;
constexpr int kIdUndoOf = 1009;
constexpr int kIdBytes = 1014;
constexpr int kIdDrive = 1015;
constexpr int kIdAttributes = 1016;
constexpr int kIdColumns[HistoryModel::ColumnCount] = {1030, 1031, 1032, 1033, 1034};
constexpr int kIdChanges = 1035;
constexpr int kIdNoEffect = 1036;
constexpr int kIdKeyExisted = 1038;

constexpr int kShownBytes = 24; // of binary data, in the log
constexpr auto kClosedMark = u"\u25b8 ";
constexpr auto kOpenMark = u"\u25be ";
constexpr auto kChangeIndent = "    ";

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

QString KeyText(const Record &r, const State &s)
{
    if (!s.exists)
        return LoadResString(r.kind == Kind::KeyDeleted ? kIdKeyDeleted : kIdDidNotExist);
    if (r.kind == Kind::KeyCreated)
        return LoadResString(kIdKeyCreated);
    return LoadResString(kIdKeyExisted).arg(r.deleted.values.size()).arg(r.deleted.subkeys.size());
}

// The last part of a registry path or a Windows path.
QString LastPart(const QString &path)
{
    return path.section(QLatin1Char('\\'), -1, -1, QString::SectionSkipEmpty);
}

// What changed, with the key, file or drive named by `where`: in full, or by its last part.
QString Describe(const Record &r, const QString &where)
{
    switch (r.kind) {
    case Kind::Value: return where + QStringLiteral(" \"") + FromUtf8(r.name) + QLatin1Char('"');
    case Kind::Profile: {
        const std::size_t split = r.name.find('\0');
        return where + QStringLiteral(" [") + FromUtf8(r.name.substr(0, split)) + QStringLiteral("] ") +
               FromUtf8(r.name.substr(split + 1));
    }
    case Kind::Attributes: return where + QLatin1Char(' ') + LoadResString(kIdAttributes);
    case Kind::Drive: return LoadResString(kIdDrive) + QLatin1Char(' ') + FromUtf8(r.target);
    default: return where;
    }
}

// The setting as the log names it where its page shows no caption for it: the key's last part
// and the value, the file or the drive.
QString PathText(const Record &r)
{
    return Describe(r, LastPart(FromUtf8(r.target)));
}

QString PageCaption(const std::string &page)
{
    return page.empty() ? QStringLiteral("-") : frmTR::CaptionOfKey(FromUtf8(page));
}

// Records that one page save, one undo or one apply wrote together; a record of no group
// stands alone.
bool SameGroup(const Record &earlier, const Record &later)
{
    return earlier.group != 0 && earlier.group == later.group;
}

} // namespace

QString WhatChanged(const Record &r)
{
    return Describe(r, FromUtf8(r.target));
}

QString StateText(const Record &r, const State &s)
{
    switch (r.kind) {
    case Kind::Value: return ValueText(s);
    case Kind::KeyCreated:
    case Kind::KeyDeleted: return KeyText(r, s);
    case Kind::Profile:
        return s.exists ? QLatin1Char('"') + FromUtf8(s.data) + QLatin1Char('"') : LoadResString(kIdDidNotExist);
    case Kind::File: return s.exists ? LoadResString(kIdBytes).arg(s.data.size()) : LoadResString(kIdDidNotExist);
    case Kind::Attributes:
        return s.exists ? QString::number(s.type, 16).rightJustified(2, QLatin1Char('0')) : LoadResString(kIdDeleted);
    case Kind::Drive: return s.exists ? FromUtf8(s.data) : LoadResString(kIdDidNotExist);
    }
    return {};
}

bool SeenByPrograms(const Record &r)
{
    if (r.before == r.after)
        return false;
    if (r.kind != Kind::Value || (r.before.exists && r.after.exists))
        return true;
    // Programs read a missing switch as 0 and a missing text as empty.
    const auto readsAsMissing = [](const State &s) {
        const bool zero = s.type == REG_DWORD && s.data == std::string(4, '\0');
        const bool empty =
            (s.type == REG_SZ || s.type == REG_EXPAND_SZ) && s.data.find_first_not_of('\0') == std::string::npos;
        return !s.exists || zero || empty;
    };
    return !readsAsMissing(r.before) || !readsAsMissing(r.after);
}

void HistoryModel::SetRecords(const std::vector<Record> &oldestFirst)
{
    beginResetModel();
    all_ = oldestFirst;
    groups_.clear();
    for (const Record &r : oldestFirst) {
        if (groups_.empty() || !SameGroup(groups_.back().changes.back(), r))
            groups_.emplace_back();
        groups_.back().changes.push_back(r);
    }
    std::reverse(groups_.begin(), groups_.end());
    for (Group &group : groups_)
        std::reverse(group.changes.begin(), group.changes.end());
    Flatten();
    endResetModel();
}

void HistoryModel::Flatten()
{
    rows_.clear();
    for (int g = 0; g < static_cast<int>(groups_.size()); ++g) {
        rows_.push_back({g, -1});
        const Group &group = groups_[static_cast<std::size_t>(g)];
        if (group.open)
            for (int c = 0; c < static_cast<int>(group.changes.size()); ++c)
                rows_.push_back({g, c});
    }
}

void HistoryModel::Toggle(int row)
{
    if (!IsGroupRow(row))
        return;
    Group &group = groups_[static_cast<std::size_t>(rows_[static_cast<std::size_t>(row)].group)];
    const int count = static_cast<int>(group.changes.size());
    if (group.open) {
        beginRemoveRows({}, row + 1, row + count);
        group.open = false;
        Flatten();
        endRemoveRows();
    } else {
        beginInsertRows({}, row + 1, row + count);
        group.open = true;
        Flatten();
        endInsertRows();
    }
    emit dataChanged(index(row, Time), index(row, Time));
}

bool HistoryModel::IsGroupRow(int row) const
{
    return row >= 0 && row < rowCount() && rows_[static_cast<std::size_t>(row)].change < 0;
}

const Record *HistoryModel::Change(const Row &row) const
{
    const Group &group = groups_[static_cast<std::size_t>(row.group)];
    return row.change < 0 ? nullptr : &group.changes[static_cast<std::size_t>(row.change)];
}

std::vector<Record> HistoryModel::ChangesOf(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const Row &at = rows_[static_cast<std::size_t>(row)];
    if (const Record *change = Change(at))
        return {*change};
    return groups_[static_cast<std::size_t>(at.group)].changes;
}

bool HistoryModel::Undone(const Record &change) const
{
    return std::any_of(all_.begin(), all_.end(), [&change](const Record &r) { return r.undoes == change.id; });
}

std::vector<Record> HistoryModel::ChangesBackTo(int row) const
{
    std::vector<Record> changes;
    for (int i = 0; i <= row && i < rowCount(); ++i)
        if (IsGroupRow(i))
            for (const Record &r : ChangesOf(i))
                if (!r.undoes && !Undone(r))
                    changes.push_back(r);
    return changes;
}

std::vector<Record> HistoryModel::PendingChangesOf(int row) const
{
    std::vector<Record> changes = ChangesOf(row);
    // A save's row undoes what the journal counts as that save's: a key it made is only
    // deleted when its own row is chosen, since others may have written into it since.
    if (IsGroupRow(row) && !changes.empty())
        changes = journal::GroupOf(changes.front(), std::vector<Record>(all_.rbegin(), all_.rend()));
    std::erase_if(changes, [this](const Record &r) { return Undone(r); });
    return changes;
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const Record *HistoryModel::UndoneBy(const Record &change) const
{
    if (!change.undoes)
        return nullptr;
    const auto undone =
        std::find_if(all_.begin(), all_.end(), [&change](const Record &r) { return r.id == change.undoes; });
    return undone == all_.end() ? nullptr : &*undone;
}

QString HistoryModel::SettingText(const Record &change) const
{
    if (change.kind == Kind::Value) {
        // An undo is named as the setting it takes back, which the page that wrote it names.
        const Record *undone = UndoneBy(change);
        const QString caption = SettingCaptionOf(undone ? undone->page : change.page, change.target, change.name);
        if (!caption.isEmpty())
            return caption;
    }
    return PathText(change);
}

QString HistoryModel::Undoes(const Record &change) const
{
    const Record *undone = UndoneBy(change);
    if (!undone)
        return LoadResString(kIdUndoOf).arg(FromUtf8(change.target));
    // The row names the setting already when the undo wrote the very value the change did.
    const QString what = SettingText(*undone);
    const QString when = TimeOf(undone->time);
    return LoadResString(kIdUndoOf).arg(what == SettingText(change) ? when : what + QStringLiteral(", ") + when);
}

QVariant HistoryModel::GroupText(const Group &group, int column) const
{
    const auto seen = std::count_if(group.changes.begin(), group.changes.end(), SeenByPrograms);
    // A group of one change that programs see reads as that change.
    if (seen == 1 && column >= Setting)
        return ChangeText(*std::find_if(group.changes.begin(), group.changes.end(), SeenByPrograms), column);
    switch (column) {
    case Time: return QString::fromUtf16(group.open ? kOpenMark : kClosedMark) + TimeOf(group.changes.front().time);
    case PageColumn: return PageCaption(group.changes.front().page);
    case Setting: return LoadResString(kIdChanges).arg(seen ? static_cast<qsizetype>(seen) : std::ssize(group.changes));
    default: return {};
    }
}

QVariant HistoryModel::ChangeText(const Record &change, int column) const
{
    switch (column) {
    case Time: return QLatin1String(kChangeIndent) + TimeOf(change.time);
    case PageColumn: return PageCaption(change.page);
    case Setting: {
        QString text = SettingText(change);
        if (!SeenByPrograms(change))
            text += QLatin1Char(' ') + LoadResString(kIdNoEffect);
        if (change.undoes)
            text += QStringLiteral(" (") + Undoes(change) + QLatin1Char(')');
        return text;
    }
    case Before: return StateText(change, change.before);
    case After: return StateText(change, change.after);
    default: return {};
    }
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row &row = rows_[static_cast<std::size_t>(index.row())];
    const Group &group = groups_[static_cast<std::size_t>(row.group)];
    const Record *change = Change(row);
    switch (role) {
    case Qt::DisplayRole: return change ? ChangeText(*change, index.column()) : GroupText(group, index.column());
    case Qt::ToolTipRole: {
        QStringList paths;
        for (const Record &r : change ? std::vector<Record>{*change} : group.changes)
            paths << WhatChanged(r);
        return paths.join(QLatin1Char('\n'));
    }
    case Qt::FontRole:
        if (change && !SeenByPrograms(*change)) {
            QFont faint;
            faint.setItalic(true);
            return faint;
        }
        return {};
    default: return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return LoadResString(kIdColumns[section]);
}
