#include "MachineCheck.h"

#include "Strings.h"
#include "machine.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>

namespace
{

const char *const kSeedFiles[] = {"system.reg", "user.reg", "userdef.reg"};

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
    for (const char *name : kSeedFiles) {
        const QString target = folder + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::copy(QStringLiteral(":/seed/") + QLatin1String(name), target))
            return false;
        // A resource copies read-only; the registry files must stay writable.
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                          QFileDevice::ReadOther);
    }
    win::ResetMachine();
    return true;
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

void ReportMachineProblems(QWidget *parent)
{
    const QString problems = MachineProblems();
    if (!problems.isEmpty())
        QMessageBox::warning(parent, LoadResString(101), problems);
}
