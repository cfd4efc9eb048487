#include "DriveFolderList.h"

#include "Module.h"
#include "files.h"
#include "win32.h"

#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>
#include <algorithm>

namespace
{

constexpr auto kFallbackDrive = "c:";

QString RootOf(const QString &drive)
{
    return drive.left(2).toUpper() + QLatin1Char('\\');
}

QString ChildOf(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('\\')) ? folder + name : folder + QLatin1Char('\\') + name;
}

bool IsFolder(const QString &windowsPath)
{
    const win::DWORD attributes = win::GetFileAttributesA(windowsPath.toUtf8().constData());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

DriveFolderList::DriveFolderList(QComboBox *drives, QListWidget *folders)
    : QObject(folders), drives_(drives), folders_(folders)
{
    const QString drive = FillDrives(drives_);
    connect(folders_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *item) { SetPath(item->data(Qt::UserRole).toString()); });
    SetPath(RootOf(drive));
}

QString DriveFolderList::Drive() const
{
    return drives_->currentText().left(2);
}

bool DriveFolderList::SetPath(const QString &windowsFolder)
{
    const QString folder = Normalized(windowsFolder);
    if (!IsFolder(folder))
        return false;
    path_ = folder;
    FillFolders();
    return true;
}

QString DriveFolderList::SelectedFolder() const
{
    const QListWidgetItem *item = folders_->currentItem();
    return item ? item->data(Qt::UserRole).toString() : path_;
}

QString DriveFolderList::Normalized(const QString &windowsFolder)
{
    QString folder = windowsFolder;
    folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (folder.size() >= 2 && folder.at(1) == QLatin1Char(':'))
        folder[0] = folder.at(0).toUpper();
    while (folder.size() > 3 && folder.endsWith(QLatin1Char('\\')))
        folder.chop(1);
    if (folder.size() == 2 && folder.at(1) == QLatin1Char(':'))
        folder += QLatin1Char('\\');
    return folder;
}

QString DriveFolderList::FillDrives(QComboBox *drives)
{
    const QSignalBlocker quiet(drives);
    drives->clear();
    for (const std::string &drive : win::LogicalDrives())
        drives->addItem(QString::fromStdString(drive));
    const QString system = Module::SystemDirectory();
    const QString drive = system.size() >= 2 && system.at(1) == QLatin1Char(':') ? system.left(2).toLower()
                                                                                 : QLatin1String(kFallbackDrive);
    drives->setCurrentIndex(std::max(0, drives->findText(drive)));
    return drive;
}

void DriveFolderList::FillFolders()
{
    const QSignalBlocker quiet(folders_);
    folders_->clear();
    // The ancestors from the root down to the current folder itself.
    const QStringList parts = path_.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QString ancestor = path_.left(3);
    const auto addRow = [this](const QString &text, const QString &fullPath) {
        auto *row = new QListWidgetItem(text, folders_);
        row->setData(Qt::UserRole, fullPath);
        return row;
    };
    QListWidgetItem *current = addRow(ancestor, ancestor);
    for (const QString &part : parts) {
        ancestor = ChildOf(ancestor, part);
        current = addRow(part, ancestor);
    }
    for (const std::string &name : win::SubfoldersOf(path_.toStdString())) {
        const QString child = QString::fromStdString(name);
        addRow(child, ChildOf(path_, child));
    }
    folders_->setCurrentItem(current);
}
