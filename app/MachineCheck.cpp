#include "MachineCheck.h"

#include "Strings.h"
#include "files.h"
#include "journal.h"
#include "machine.h"
#include "win32.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <string>

namespace
{

constexpr const char *kRegistryFiles[] = {"system.reg", "user.reg", "userdef.reg"};

// The files of a new machine besides its registry, and where they go: a new machine is always
// the seed's Windows 98, whose Windows directory is C:\windows.
struct SeedFile {
    const char *resource;
    const char *path;
    win::DWORD attributes; // 0: left as written
};
constexpr SeedFile kSeedFiles[] = {
    {"lmhosts", "C:\\windows\\lmhosts", 0},
    // An icon library for the system icons page to list.
    {"files/shell32.dll", "C:\\windows\\system32\\shell32.dll", 0},
    // A folder that shows its own icon, as the folder icon page makes one.
    {"files/Documents.ico", "C:\\My Documents\\Documents.ico", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {"files/Desktop.ini", "C:\\My Documents\\Desktop.ini", FILE_ATTRIBUTE_HIDDEN},
};
constexpr auto kIconFolder = "C:\\My Documents";

// Puts the seed's files into the machine, where it has none of that name.
bool SeedMachineFiles()
{
    if (!QDir().mkpath(QString::fromStdString(win::HostPathOf(kIconFolder))))
        return false;
    bool ok = true;
    for (const SeedFile &file : kSeedFiles) {
        if (win::FileExists(file.path))
            continue;
        QFile seed(QStringLiteral(":/seed/") + QLatin1String(file.resource));
        ok =
            seed.open(QIODevice::ReadOnly) && win::WriteWholeFile(file.path, seed.readAll().toStdString(), false) && ok;
        if (file.attributes)
            win::SetFileAttributesA(file.path, file.attributes);
    }
    // The system attribute tells the shell to read the folder's Desktop.ini.
    win::SetFileAttributesA(kIconFolder, FILE_ATTRIBUTE_SYSTEM);
    return ok;
}

QString Text(const char *english, const char *russian)
{
    return UserInterfaceLanguage() == InterfaceLanguage::Russian ? QString::fromUtf8(russian)
                                                                 : QString::fromUtf8(english);
}

} // namespace

bool SeedNewMachine()
{
    const QString folder = QString::fromStdString(win::ChosenMachineFolder());
    if (folder.isEmpty() || QFile::exists(folder + QStringLiteral("/system.reg")))
        return false;
    if (!QDir().mkpath(folder))
        return false;
    for (const char *name : kRegistryFiles) {
        const QString target = folder + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::copy(QStringLiteral(":/seed/") + QLatin1String(name), target))
            return false;
        // A resource copies read-only; the registry files must stay writable.
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                          QFileDevice::ReadOther);
    }
    win::ResetMachine();
    // Filling a new machine is no change of the user's: it stays out of the change journal.
    const journal::Pause unrecorded;
    return SeedMachineFiles();
}

QString MachineProblems()
{
    QStringList reasons;
    if (win::WineServerRunning())
        reasons << Text("A Wine program is running on this Windows installation. Wine keeps its settings in memory "
                        "and would overwrite every change, so Korvex changes nothing while it runs. Close the Wine "
                        "programs (or run \"wineserver -k\"): Korvex checks again at every save, so the pages "
                        "keep what you enter and a later save stores it without a restart.",
                        "В этой установке Windows работает программа Wine. Wine держит настройки в памяти и "
                        "затёр бы любое изменение, поэтому Korvex ничего не меняет, пока она работает. Закройте "
                        "программы Wine (или выполните \"wineserver -k\"): Korvex проверяет это при каждом "
                        "сохранении, поэтому страницы сохраняют введённое, и следующее сохранение запишет его без "
                        "перезапуска.");
    QStringList damaged;
    for (const std::string &file : win::DamagedRegistryFiles())
        damaged << QString::fromStdString(file);
    if (!damaged.isEmpty())
        reasons << Text("These registry files cannot be read and are left untouched; their settings are neither "
                        "shown nor changed:",
                        "Эти файлы реестра не читаются и остаются нетронутыми; их настройки не показываются и не "
                        "меняются:") +
                       QStringLiteral("\n") + damaged.join(QLatin1Char('\n')) + QStringLiteral("\n") +
                       Text("Restore them from a backup, or move them away to let Wine make new ones.",
                            "Восстановите их из резервной копии или уберите, чтобы Wine создал новые.");
    if (reasons.isEmpty())
        return {};
    return Text("Korvex cannot change the settings of this Windows installation now.",
                "Korvex сейчас не может менять настройки этой установки Windows.") +
           QStringLiteral("\n\n") + reasons.join(QStringLiteral("\n\n"));
}

void ReportJournalProblem(QWidget *parent)
{
    const std::string problem = journal::ProblemReport();
    if (problem.empty())
        return;
    const QString where = QString::fromStdString(problem.substr(problem.find(": ") + 2));
    QString text;
    if (problem.starts_with("not recorded"))
        text = Text("A change was saved, but the history of changes could not record it (is the disk full?): "
                    "History cannot undo it. Changes are recorded again as soon as the file can grow:",
                    "Изменение сохранено, но журнал изменений не смог его записать (диск заполнен?): "
                    "отменить его через Журнал нельзя. Изменения снова записываются, как только файл может расти:") +
               QStringLiteral("\n") + where;
    else
        text = (problem.starts_with("written by a newer version")
                    ? Text("The history of changes of this Windows installation was written by a newer Korvex.",
                           "Журнал изменений этой установки Windows записан более новой версией Korvex.")
                    : Text("The history of changes of this Windows installation is damaged.",
                           "Журнал изменений этой установки Windows повреждён.")) +
               QStringLiteral("\n") +
               Text("It was kept aside as %1; a new history begins now. Nothing else was lost.",
                    "Он сохранён в стороне как %1; начат новый журнал. Больше ничего не потеряно.")
                   .arg(where);
    QMessageBox::warning(parent, LoadResString(101), text);
}

void ReportMachineProblems(QWidget *parent)
{
    const QString problems = MachineProblems();
    if (!problems.isEmpty())
        QMessageBox::warning(parent, LoadResString(101), problems);
    ReportJournalProblem(parent);
}
