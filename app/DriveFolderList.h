// The drive list and the folder list of a page, behaving as the Windows controls do.
//
// The drive list holds the machine's drives as Windows shows them ("c:", lower case). The folder
// list shows its current path's ancestors from the drive's root down, then the current folder's
// subfolders sorted by name; each row's text is the folder's own name (the root row "C:\"), its
// full Windows path is in Qt::UserRole. A click highlights a row, a double click makes it the
// current path. The page keeps its own named controls and its own handlers: it connects the
// drive list's currentIndexChanged to its drive handler (which calls SetPath) and the folder
// list's currentRowChanged to its click handler. Rebuilding the list after a change of path
// raises no row change, as on Windows, where only a click on an entry does.
#pragma once

#include <QObject>
#include <QString>

class QComboBox;
class QListWidget;

class DriveFolderList : public QObject
{
public:
    // Fills the drive list and opens the folder list on the system drive's root.
    DriveFolderList(QComboBox *drives, QListWidget *folders);

    // The drive chosen in the drive list, as "c:".
    QString Drive() const;
    // The folder whose subfolders the list shows.
    QString Path() const { return path_; }
    // Makes `windowsFolder` the current path; false, with the list as it was, when it is not an
    // existing folder.
    bool SetPath(const QString &windowsFolder);
    // The full path of the highlighted row; the current path when no row is highlighted.
    QString SelectedFolder() const;

    // A folder path in the form the list gives: the drive letter in capitals, no trailing
    // backslash except on a drive's root ("C:\").
    static QString Normalized(const QString &windowsFolder);
    // Fills a drive list with the machine's drives and chooses the system drive when it is
    // listed, raising no change of the list. Returns the system drive ("c:"; "c:" also when the
    // system directory names none).
    static QString FillDrives(QComboBox *drives);

private:
    void FillFolders();

    QComboBox *drives_;
    QListWidget *folders_;
    QString path_;
};
