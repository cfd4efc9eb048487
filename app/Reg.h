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
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

class QListWidget;

namespace Reg
{

// The registry views of a 64-bit machine: 32-bit programs see their own HKEY_LOCAL_MACHINE\Software
// and HKEY_CLASSES_ROOT (the Wow6432Node keys), 64-bit programs the rest. A machine without a
// 32-bit view (Windows 9x, a 32-bit prefix, Korvex's own machine folder) has one, and every
// view below is that one.
enum class View : std::uint8_t {
    Both,  // a setting both kinds of program read: read from the 32-bit view where it is there,
           // else from the 64-bit one; written to both
    Bit64, // an entry listed from the 64-bit view
    Bit32, // an entry listed from the 32-bit view
};

// True when the machine keeps a 32-bit view of its own.
bool HasTwoViews();

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
bool GetValue(win::HKEY root, const QString &path, const QString &name, QString &out, View view = View::Both);

// Write REG_DWORD (4 bytes), REG_SZ (the text and one NUL) and REG_BINARY (the bytes as they
// are), creating the key and any missing key on its path. Every write, and every delete below,
// notes its result for the save report of the page (SaveReport.h).
bool SetDword(win::HKEY root, const QString &path, const QString &name, qint32 number, View view = View::Both);
bool SetString(win::HKEY root, const QString &path, const QString &name, const QString &text, View view = View::Both);
bool SetBinary(win::HKEY root, const QString &path, const QString &name, const QByteArray &bytes,
               View view = View::Both);

// Deletes a value. A missing key is created, empty, before the delete fails.
bool DeleteValue(win::HKEY root, const QString &path, const QString &name, View view = View::Both);

// Deletes a key (with its subkeys where the system takes them along), in both views unless one
// is named. A key that is already gone counts as deleted.
bool DeleteKey(win::HKEY root, const QString &path, View view = View::Both);

// How a write's target is named to the user: the root's name, the key path and the value name
// in quotes ("HKEY_CURRENT_USER\\Software\\... "NoRun"").
QString RootName(win::HKEY root);
QString ValueTarget(win::HKEY root, const QString &path, const QString &name);

// Replaces the list's entries with the names of the key's subkeys, in the registry's order,
// every name whole up to the longest the registry allows. True when the key could be opened
// with `access` (the pages that only enumerate ask for KEY_ENUMERATE_SUB_KEYS).
bool ListSubKeys(QStringList &list, win::HKEY root, const QString &path, win::REGSAM access = KEY_ALL_ACCESS);

// The subkeys of a key in every view of the machine, each name once: the 64-bit view's first,
// then those only the 32-bit view has. A row's Qt::UserRole holds its View. True when the key
// could be opened in one view at least.
struct Entry {
    QString name;
    View view = View::Bit64;
};
bool ListEntries(QList<Entry> &entries, win::HKEY root, const QString &path,
                 win::REGSAM access = KEY_ENUMERATE_SUB_KEYS);
bool ListEntries(QListWidget &list, win::HKEY root, const QString &path, win::REGSAM access = KEY_ALL_ACCESS);

} // namespace Reg
