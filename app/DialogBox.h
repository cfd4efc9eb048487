// The common Open and Save file dialogs behind two calls: a title and a filter in, the chosen
// file's Windows path out. Callers create one, call one method and drop it.
//
// Filters are written the Windows way, "description|patterns|description|patterns", with the
// patterns of one entry separated by ";". Nothing is checked about the chosen file: it need not
// exist, and an existing one is not questioned. The dialog belongs to no window of the program.
//
// The dialog is a QFileDialog run modally: the desktop's own dialog where the platform offers
// one, otherwise Qt's, which is the modal widget the tests find and fill in.
#pragma once

#include <QString>

class DialogBox
{
public:
    // The chosen file's full Windows path, or the empty text when the user cancelled.
    QString OpenFile(const QString &title = QStringLiteral("Open file..."),
                     const QString &filter = QStringLiteral("All Files(*.*)|*.*"));
    // As OpenFile, with the save dialog. `fileName` is accepted and not used: the dialog starts
    // without a name, as the callers expect.
    QString SaveFile(const QString &fileName, const QString &title = QStringLiteral("Save file..."),
                     const QString &filter = QStringLiteral("All Files(*.*)|*.*"));

    // A Windows filter as Qt's: each "description|a;b" pair becomes "description (a b)", the
    // pairs joined by ";;". A description without its patterns is dropped.
    static QString QtFilter(const QString &filter);

    // The Windows name of a file the dialog gave as a host path; empty when it has none or it
    // does not fit the 255 characters Windows' dialogs leave for a path.
    static QString WindowsPathOfChoice(const QString &hostPath);
};
