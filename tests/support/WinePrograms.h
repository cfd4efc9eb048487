// Wine's own programs for a test's machine folder: a copy of the prefix Wine made once for the
// test run, its programs run without a shell, and the wait for its server to start or end.
#pragma once

#include "TempMachine.h"
#include "machine.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>

// Wine's 64-bit loader by its path: plain `wine` may be the 32-bit one, which cannot start on
// every machine the tests run on.
constexpr auto kWine64 = "/usr/lib/wine/wine64";

struct WineRun {
    int exitCode = -1; // -1 when the program did not end normally within two minutes
    QByteArray output;
    QByteArray errors;
};

// Runs a Wine program for `prefix`, never through a shell, quietly and without Wine offering to
// install Mono or Gecko, in `locale` (which sets Wine's ANSI code page).
inline WineRun RunWine(const std::string &prefix, const QString &program, const QStringList &args,
                       const char *locale = "C.UTF-8")
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", QString::fromStdString(prefix));
    env.insert("WINEDEBUG", "-all");
    env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
    env.insert("LC_ALL", locale);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    WineRun run;
    if (!process.waitForStarted(120'000) || !process.waitForFinished(120'000)) {
        run.errors = (program + QStringLiteral(": ") + process.errorString()).toUtf8();
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

// Waits up to 30 s until a wineserver runs, or no longer runs, for the machine in use.
inline bool WaitForWineServer(bool running)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (win::WineServerRunning() != running) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Skips the test when there is no Wine prefix to copy.
#define REQUIRE_WINE_PREFIX()                                                                                          \
    if (WineTemplate().empty())                                                                                        \
    GTEST_SKIP() << "No Wine prefix to copy: Wine is not installed, or the test ran outside ctest's WinePrefix "       \
                    "fixture."

// A copy of the run's Wine prefix for one test. No wineserver outlives it: the platform refuses
// registry writes while one runs, and a server would outlive the deleted folder.
class WineMachine : public TempMachine
{
public:
    WineMachine() : TempMachine(WineTemplate()) {}
    ~WineMachine()
    {
        Run(QStringLiteral("wineserver"), {QStringLiteral("-k")});
        EXPECT_TRUE(WaitForWineServer(false)) << "a wineserver still runs for " << Folder();
    }

    WineRun Run(const QString &program, const QStringList &args, const char *locale = "C.UTF-8") const
    {
        return RunWine(Folder(), program, args, locale);
    }
};
