// The registry access layer of the pages: read one value as text; write a number, a text or a
// byte string; delete a value; list the subkeys of a key. Every routine opens its own key,
// does one thing and closes the key again on every path. Results are true or false, never an
// error code, and no routine shows a message.
//
// Text crosses the platform in its ANSI code page (UTF-8 here): a REG_SZ value is text, while a
// byte string travels as a text whose characters are its bytes (U+0000 to U+00FF).
#pragma once

#include "win32.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QListWidget;

namespace Reg
{

// An open key that is closed when it goes out of scope, whatever path the routine takes; for
// the pages that open and enumerate keys with the platform functions themselves.
class OpenKey
{
public:
    OpenKey() = default;
    ~OpenKey() { win::RegCloseKey(handle_); }
    OpenKey(const OpenKey &) = delete;
    OpenKey &operator=(const OpenKey &) = delete;

    win::HKEY *Out() { return &handle_; }
    win::HKEY Get() const { return handle_; }

private:
    win::HKEY handle_ = nullptr;
};

// The security record every create uses: length 12, no descriptor, inheritable handle.
extern win::SECURITY_ATTRIBUTES KeySecurity;

// Reads a value as text: REG_SZ without its trailing NUL, REG_BINARY one character per byte,
// REG_DWORD as the decimal text of its lowest-order byte; any other type leaves `out` as it
// was. False, with `out` emptied, when the key or value is missing or longer than 1024 bytes.
bool GetValue(win::HKEY root, const QString &path, const QString &name, QString &out);

// Write REG_DWORD (4 bytes), REG_SZ (the text and one NUL) and REG_BINARY (the bytes as they
// are), creating the key and any missing key on its path. Every write, and every delete below,
// notes its result for the save report of the page (SaveReport.h).
bool SetDword(win::HKEY root, const QString &path, const QString &name, qint32 number);
bool SetString(win::HKEY root, const QString &path, const QString &name, const QString &text);
bool SetBinary(win::HKEY root, const QString &path, const QString &name, const QByteArray &bytes);

// Deletes a value. A missing key is created, empty, before the delete fails.
bool DeleteValue(win::HKEY root, const QString &path, const QString &name);

// Deletes a key (with its subkeys where the system takes them along). A key that is already
// gone counts as deleted.
bool DeleteKey(win::HKEY root, const QString &path);

// How a write's target is named to the user: the root's name, the key path and the value name
// in quotes ("HKEY_CURRENT_USER\\Software\\... "NoRun"").
QString RootName(win::HKEY root);
QString ValueTarget(win::HKEY root, const QString &path, const QString &name);

// Replaces the list's entries with the names of the key's subkeys, in the registry's order,
// every name whole up to the longest the registry allows. True when the key could be opened
// with `access` (the pages that only enumerate ask for KEY_ENUMERATE_SUB_KEYS).
bool ListSubKeys(QStringList &list, win::HKEY root, const QString &path, win::REGSAM access = KEY_ALL_ACCESS);
bool ListSubKeys(QListWidget &list, win::HKEY root, const QString &path);

} // namespace Reg
