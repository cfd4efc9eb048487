// The Windows 98 test image: the registry of a new machine's seed written as SYSTEM.DAT and
// USER.DAT by korvex_guest_registry, put with the seed's files on an MBR disk with one FAT32
// partition by make_disk_image.py, as `make disk-image` makes it. A test that uses it defines
// KORVEX_GUEST_REGISTRY, KORVEX_SEED, MAKE_DISK_IMAGE and PYTHON3.
#pragma once

#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <string>

// Makes the image at `path` (its folder gets the two registry files too). Empty when it was
// made, else what failed.
inline std::string MakeWin98Image(const std::string &path)
{
    const QString image = QString::fromStdString(path);
    const QString folder = QFileInfo(image).absolutePath();
    const QString seed = QStringLiteral(KORVEX_SEED);
    const QStringList steps[] = {
        {QStringLiteral(KORVEX_GUEST_REGISTRY), seed + "/system.reg", seed + "/user.reg", folder + "/SYSTEM.DAT",
         folder + "/USER.DAT"},
        {QStringLiteral(PYTHON3), QStringLiteral(MAKE_DISK_IMAGE), image, "--layout", "fat32", "--system-dat",
         folder + "/SYSTEM.DAT", "--user-dat", folder + "/USER.DAT", "--file", seed + "/lmhosts=WINDOWS/LMHOSTS"},
    };
    for (const QStringList &step : steps) {
        QProcess process;
        process.start(step.first(), step.mid(1));
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return (step.join(QLatin1Char(' ')) + QStringLiteral(" failed: ") +
                    QString::fromLocal8Bit(process.readAllStandardError()))
                .toStdString();
    }
    return {};
}
