#include "KorvexRun.h"

#include "StoredValue.h"
#include "machine.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

bool Store(win::HKEY root, const char *key, const char *name, win::DWORD type, const QByteArray &data)
{
    win::HKEY handle = nullptr;
    if (win::RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const auto result = win::RegSetValueExA(handle, name, 0, type, reinterpret_cast<const win::BYTE *>(data.data()),
                                            static_cast<win::DWORD>(data.size()));
    win::RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

QByteArray Dword(win::DWORD value)
{
    return {reinterpret_cast<const char *>(&value), sizeof value};
}

QByteArray Sz(const char *text)
{
    return {text, static_cast<qsizetype>(std::strlen(text) + 1)};
}

void ExpectStored(win::HKEY root, const char *key, const char *name, win::DWORD type, const QByteArray &data)
{
    const std::optional<StoredValue> stored = ReadStoredValue(root, QString::fromUtf8(key), name);
    ASSERT_TRUE(stored.has_value()) << key << "\\" << name << " is missing";
    EXPECT_EQ(stored->type, type) << name;
    EXPECT_EQ(stored->data.toHex().toStdString(), data.toHex().toStdString()) << name;
}

void ExpectMissing(win::HKEY root, const char *key, const char *name)
{
    EXPECT_FALSE(ReadStoredValue(root, QString::fromUtf8(key), name).has_value()) << key << "\\" << name;
}

namespace
{

std::string ReadText(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "(no log at " + path + ")";
}

} // namespace

KorvexRun RunKorvex(const TempMachine &machine, const std::string &script)
{
    machine.WriteFile("e2e-script.txt", script);
    const std::string logPath = machine.PathOf("e2e-log.txt");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", QString::fromStdString(machine.Folder()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.insert("LANG", "en_US.UTF-8");
    const QString asanRuntime = QStringLiteral(KORVEX_ASAN_RUNTIME);
    env.insert("LD_PRELOAD", (asanRuntime.isEmpty() ? QString() : asanRuntime + ":") + KORVEX_E2E_DRIVER);
    env.insert("KORVEX_E2E_SCRIPT", QString::fromStdString(machine.PathOf("e2e-script.txt")));
    env.insert("KORVEX_E2E_LOG", QString::fromStdString(logPath));

    QProcess korvex;
    korvex.setProcessEnvironment(env);
    korvex.start(KORVEX_PROGRAM, {});
    KorvexRun run;
    if (!korvex.waitForFinished(kRunLimitMs)) {
        korvex.kill();
        korvex.waitForFinished();
        run.log = "korvex did not end within " + std::to_string(kRunLimitMs / 1000) + " s\n";
    } else {
        run.finished = korvex.exitStatus() == QProcess::NormalExit;
        run.exitCode = korvex.exitCode();
    }
    run.log += ReadText(logPath) + "\n--- korvex's error output:\n" + korvex.readAllStandardError().toStdString();
    // What the program stored is read afresh.
    win::ResetMachine();
    return run;
}

void ExpectCleanRun(const KorvexRun &run)
{
    EXPECT_TRUE(run.finished && run.exitCode == 0) << "exit code " << run.exitCode << "\n" << run.log;
}
