#include "MachineChoice.h"

#include "Strings.h"
#include "images.h"
#include "machine.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <string_view>

namespace
{

constexpr const char *kFolderSetting = "Machine/Folder";
constexpr const char *kNameSetting = "Machine/Name";

struct VersionName {
    std::string_view wine;
    const char *shown;
};

// Wine's version names as a user knows the systems.
constexpr VersionName kVersionNames[] = {
    {"win20", "Windows 2.0"},
    {"win30", "Windows 3.0"},
    {"win31", "Windows 3.1"},
    {"win95", "Windows 95"},
    {"win98", "Windows 98"},
    {"winme", "Windows ME"},
    {"nt351", "Windows NT 3.51"},
    {"nt40", "Windows NT 4.0"},
    {"win2000", "Windows 2000"},
    {"win2k", "Windows 2000"},
    {"nt2k", "Windows 2000"},
    {"nt2000", "Windows 2000"},
    {"winxp", "Windows XP"},
    {"winxp64", "Windows XP x64"},
    {"win2003", "Windows Server 2003"},
    {"win2k3", "Windows Server 2003"},
    {"vista", "Windows Vista"},
    {"winvista", "Windows Vista"},
    {"win2008", "Windows Server 2008"},
    {"win2k8", "Windows Server 2008"},
    {"win2008r2", "Windows Server 2008 R2"},
    {"win2k8r2", "Windows Server 2008 R2"},
    {"win7", "Windows 7"},
    {"win8", "Windows 8"},
    {"win81", "Windows 8.1"},
    {"win10", "Windows 10"},
    {"win11", "Windows 11"},
};

struct SourceText {
    win::PrefixSource source;
    int id;
};

constexpr SourceText kSourceTexts[] = {
    {win::PrefixSource::WinePrefixVariable, 1220},
    {win::PrefixSource::DefaultWine, 1221},
    {win::PrefixSource::Korvex, 1222},
    {win::PrefixSource::Winetricks, 1223},
    {win::PrefixSource::Bottles, 1224},
    {win::PrefixSource::Lutris, 1225},
    {win::PrefixSource::Heroic, 1226},
    {win::PrefixSource::Steam, 1227},
    {win::PrefixSource::PlayOnLinux, 1228},
};

QSettings Settings()
{
    return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/Korvex/Korvex.conf"),
                     QSettings::IniFormat);
}

// The folder chosen last, and the name it was shown under; empty when none was chosen.
QString RememberedMachineFolder()
{
    return Settings().value(QLatin1String(kFolderSetting)).toString();
}

QString RememberedMachineName()
{
    return Settings().value(QLatin1String(kNameSetting)).toString();
}

// A name for a folder chosen without one: Korvex's own machine, a Steam game's ID, or the
// folder's own name.
QString ShortNameOf(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    if (clean.endsWith(QStringLiteral("/korvex/machine")))
        return LoadResString(1222);
    const QFileInfo info(clean);
    if (info.fileName() == QStringLiteral("pfx"))
        return QFileInfo(info.path()).fileName();
    return info.fileName();
}

} // namespace

void RememberMachine(const QString &folder, const QString &name)
{
    QSettings settings = Settings();
    settings.setValue(QLatin1String(kFolderSetting), folder);
    settings.setValue(QLatin1String(kNameSetting), name.isEmpty() ? ShortNameOf(folder) : name);
}

bool IsMachine(const QString &folder)
{
    return win::IsWinePrefix(folder.toStdString()) || win::HoldsWindowsImage(folder.toStdString());
}

bool UseStartMachine()
{
    QString folder = qEnvironmentVariable(kMachineVariable);
    if (folder.isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("WINEPREFIX"))
            return false;
        folder = RememberedMachineFolder();
        if (folder.isEmpty() || !IsMachine(folder))
            return false;
    }
    win::UseMachineFolder(QFileInfo(folder).absoluteFilePath().toStdString());
    win::ResetMachine();
    return true;
}

QString WindowsVersionName(const std::string &wineName)
{
    for (const VersionName &name : kVersionNames)
        if (name.wine == wineName)
            return QLatin1String(name.shown);
    return QString::fromStdString(wineName);
}

QString SourceName(win::PrefixSource source)
{
    for (const SourceText &text : kSourceTexts)
        if (text.source == source)
            return LoadResString(text.id);
    return {};
}

QString CanonicalFolder(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

QString MachineName(const QString &folder)
{
    const QString remembered = RememberedMachineFolder();
    return !remembered.isEmpty() && CanonicalFolder(remembered) == CanonicalFolder(folder) ? RememberedMachineName()
                                                                                           : ShortNameOf(folder);
}

QString MachineLabel()
{
    const QString folder = QString::fromStdString(win::ChosenMachineFolder());
    if (folder.isEmpty())
        return {};
    const QString name = MachineName(folder);
    const std::string version =
        win::IsImageMachine()
            ? win::DescribeImageMachine(folder.toStdString(), name.toStdString(), {}).windowsVersion
            : win::DescribeWinePrefix(folder.toStdString(), win::PrefixSource::WinePrefixVariable, name.toStdString())
                  .windowsVersion;
    return QStringLiteral("%1 (%2)").arg(name, WindowsVersionName(version));
}
