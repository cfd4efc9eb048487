// The real korvex program run by the end-to-end tests, and the registry reads and writes that
// prepare a machine for it and judge what it stored.
#pragma once

#include "TempMachine.h"
#include "win32.h"

#include <QByteArray>
#include <string>

// How long one run of the program may take before it is killed.
constexpr int kRunLimitMs = 60'000;

struct KorvexRun {
    bool finished = false;
    int exitCode = -1;
    std::string log; // the driver's account of every step, and the program's own errors
};

// Runs korvex on the machine with the driver working through `script`, English interface,
// no screen; a program that does not end within the limit is killed. What it stored is read
// afresh afterwards.
KorvexRun RunKorvex(const TempMachine &machine, const std::string &script);
void ExpectCleanRun(const KorvexRun &run);

bool Store(win::HKEY root, const char *key, const char *name, win::DWORD type, const QByteArray &data);
QByteArray Dword(win::DWORD value);
QByteArray Sz(const char *text); // with its terminator, as REG_SZ holds it

void ExpectStored(win::HKEY root, const char *key, const char *name, win::DWORD type, const QByteArray &data);
void ExpectMissing(win::HKEY root, const char *key, const char *name);
