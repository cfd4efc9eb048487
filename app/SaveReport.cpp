#include "SaveReport.h"

#include "MachineCheck.h"
#include "Strings.h"
#include "change_bracket.h"
#include "machine.h"
#include "win32.h"

#include <QMessageBox>

namespace
{

// The report that notes writes now; reports nest, and only the outermost one tells the user.
SaveReport *g_current = nullptr;

constexpr int kNotSavedText = 1100;
constexpr int kWineRunningText = 1101;
constexpr int kReadOnlyText = 1102;
constexpr int kDiskFullText = 1103;
constexpr int kDamagedText = 1104;
constexpr int kOtherErrorText = 1105;
constexpr int kMoreTargetsText = 1106;
constexpr int kOutsideMachineText = 1110;
constexpr int kNoCodePageCharacterText = 1109;
constexpr int kTitleText = 101;

// So many failed targets are named; the rest are counted.
constexpr int kTargetsNamed = 8;

int ReasonTextOf(long code)
{
    switch (code) {
    case ERROR_SHARING_VIOLATION: return kWineRunningText;
    case ERROR_ACCESS_DENIED: return kReadOnlyText;
    case ERROR_DISK_FULL:
    case ERROR_WRITE_FAULT: return kDiskFullText;
    case ERROR_BADDB: return kDamagedText;
    case ERROR_CANT_ACCESS_FILE: return kOutsideMachineText;
    case ERROR_NO_UNICODE_TRANSLATION: return kNoCodePageCharacterText;
    default: return kOtherErrorText;
    }
}

} // namespace

namespace Writes
{

bool Note(long errorCode, const QString &target)
{
    if (errorCode == ERROR_SUCCESS)
        return true;
    if (g_current) {
        g_current->targets_.append(target);
        g_current->codes_.append(errorCode);
    }
    return false;
}

bool NoteLastError(bool ok, const QString &target)
{
    return Note(ok ? ERROR_SUCCESS : static_cast<long>(win::GetLastError()), target);
}

} // namespace Writes

SaveReport::SaveReport(QWidget *parent) : parent_(parent), outer_(g_current)
{
    g_current = this;
    win::BeginChanges();
}

SaveReport::~SaveReport()
{
    // The registry files are written now, once each; after a failed write nothing of the save
    // is, so that a page is never saved by halves.
    const long written = win::EndChanges(targets_.isEmpty());
    if (written != ERROR_SUCCESS && targets_.isEmpty()) {
        targets_.append(QString::fromStdString(win::MachineFolder()));
        codes_.append(written);
    }
    g_current = outer_;
    if (outer_) {
        outer_->targets_.append(targets_);
        outer_->codes_.append(codes_);
        return;
    }
    if (!targets_.isEmpty())
        QMessageBox::warning(parent_, LoadResString(kTitleText), FailedWritesMessage(targets_, codes_));
    // A change that was saved but that History could not record is told after the save.
    ReportJournalProblem(parent_);
}

bool SaveReport::AllSaved() const
{
    return targets_.isEmpty();
}

QString FailedWritesMessage(const QStringList &targets, const QList<long> &codes)
{
    QStringList named = targets.mid(0, kTargetsNamed);
    named.removeDuplicates();
    QString text = LoadResString(kNotSavedText) + QLatin1Char('\n') + named.join(QLatin1Char('\n'));
    if (targets.size() > kTargetsNamed)
        text += QLatin1Char('\n') + LoadResString(kMoreTargetsText).arg(targets.size() - kTargetsNamed);
    // Each reason once, in the order the failures came; an unknown code is named by number.
    QList<int> reasons;
    for (const long code : codes) {
        const int reason = ReasonTextOf(code);
        if (reasons.contains(reason))
            continue;
        reasons.append(reason);
        const QString line = LoadResString(reason);
        text += QStringLiteral("\n\n") + (reason == kOtherErrorText ? line.arg(code) : line);
    }
    return text;
}
