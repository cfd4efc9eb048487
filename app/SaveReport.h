// Failed writes, told to the user once per save.
//
// Every change a page makes passes through Writes::Note: the registry routines of Reg note
// their own results, and pages note the results of the platform functions they call directly
// (keys deleted, profile strings, files, attributes, drives). A SaveReport spans one save on
// closing or one immediate apply; when it ends and a write inside it failed, one warning box
// says what was not saved and why, in the user's terms. A save that fully succeeds shows
// nothing. A SaveReport is also a bracket of changes (change_bracket.h): the registry files it
// changes are written once each when it ends, and not at all when a write inside it failed.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace Writes
{

// Notes the outcome of one write: `errorCode` is ERROR_SUCCESS or the Win32 code of the
// failure, `target` names what was to be written (a key and value, or a file). Returns true
// when the write succeeded.
bool Note(long errorCode, const QString &target);

// Notes the outcome of a platform function that returns false on failure and leaves the cause
// in the last error (files, attributes, profile strings). Returns `ok`.
bool NoteLastError(bool ok, const QString &target);

} // namespace Writes

class SaveReport
{
public:
    explicit SaveReport(QWidget *parent);
    ~SaveReport();
    SaveReport(const SaveReport &) = delete;
    SaveReport &operator=(const SaveReport &) = delete;

    // True while no write of this report has failed.
    bool AllSaved() const;

private:
    QWidget *parent_;
    SaveReport *outer_;
    QStringList targets_;
    QList<long> codes_;

    friend bool Writes::Note(long, const QString &);
};

// The warning's text for these failures, in the interface language.
QString FailedWritesMessage(const QStringList &targets, const QList<long> &codes);
