#include "Reg.h"

#include "SaveReport.h"
#include "Strings.h"
#include "read_scope.h"
#include "wow64.h"

#include <QListWidget>
#include <array>
#include <utility>

namespace Reg
{

win::SECURITY_ATTRIBUTES KeySecurity{};

namespace
{

constexpr win::DWORD kValueBufferSize = 1024;
// A key name is at most 256 UTF-16 units (Windows allows 255, Wine 256), and one unit is at
// most three bytes of UTF-8.
constexpr win::DWORD kNameBufferSize = 256 * 3;

bool OpenForReading(OpenKey &key, win::HKEY root, const QString &path, win::REGSAM access = KEY_ALL_ACCESS)
{
    return win::RegOpenKeyExA(root, Ansi(path).c_str(), 0, access, key.Out()) == ERROR_SUCCESS;
}

win::LONG CreateForWriting(OpenKey &key, win::HKEY root, const QString &path, win::REGSAM view = 0)
{
    KeySecurity.nLength = 12;
    KeySecurity.lpSecurityDescriptor = nullptr;
    KeySecurity.bInheritHandle = true;
    win::DWORD disposition = 0;
    char noClass[] = "";
    return win::RegCreateKeyExA(root, Ansi(path).c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                                &KeySecurity, key.Out(), &disposition);
}

// ---- Views ----------------------------------------------------------------------------------

constexpr auto kWow64Node = "Wow6432Node";
constexpr auto kSoftware = "Software";

// True when the key has a 32-bit view of its own on a 64-bit machine: HKEY_CLASSES_ROOT and
// HKEY_LOCAL_MACHINE\Software, except a path that names the Wow6432Node key itself.
bool IsRedirected(win::HKEY root, const QString &path)
{
    const auto isName = [&](int index, const char *name) {
        return path.section(QLatin1Char('\\'), index, index).compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (root == HKEY_CLASSES_ROOT)
        return !isName(0, kWow64Node);
    return root == HKEY_LOCAL_MACHINE && isName(0, kSoftware) && !isName(1, kWow64Node);
}

// The key of the 32-bit view, named by its path in the 64-bit view. Wine and Windows both take
// an explicit Wow6432Node as it is, and the change journal then names the key it changed.
QString PathIn32BitView(win::HKEY root, const QString &path)
{
    const QString node = QLatin1String(kWow64Node);
    if (root == HKEY_CLASSES_ROOT)
        return path.isEmpty() ? node : node + QLatin1Char('\\') + path;
    const qsizetype sep = path.indexOf(QLatin1Char('\\'));
    return sep < 0 ? path + QLatin1Char('\\') + node : path.left(sep) + QLatin1Char('\\') + node + path.mid(sep);
}

// One key in one view: its path, and the access bit that keeps a 32-bit program on Windows
// from being redirected away from it (0 on a machine with one view).
struct Target {
    QString path;
    win::REGSAM view = 0;
};

// Where a routine acts for `view`, in the order it reads them.
QList<Target> TargetsOf(win::HKEY root, const QString &path, View view)
{
    if (!IsRedirected(root, path) || !HasTwoViews())
        return {Target{path}};
    const Target bit32{PathIn32BitView(root, path), KEY_WOW64_64KEY};
    const Target bit64{path, KEY_WOW64_64KEY};
    switch (view) {
    case View::Bit32: return {bit32};
    case View::Bit64: return {bit64};
    case View::Both: break;
    }
    return {bit32, bit64};
}

// True when the value already holds exactly this: the second view of a shared key (a link in
// the prefix leads both views to one key) needs no second write.
bool Holds(win::HKEY root, const Target &target, const QString &name, win::DWORD type, const QByteArray &data)
{
    OpenKey key;
    if (!OpenForReading(key, root, target.path, KEY_QUERY_VALUE | target.view))
        return false;
    QByteArray stored(data.size() + 1, '\0');
    auto size = static_cast<win::DWORD>(stored.size());
    win::DWORD storedType = REG_NONE;
    if (win::RegQueryValueExA(key.Get(), Ansi(name).c_str(), nullptr, &storedType,
                              reinterpret_cast<win::BYTE *>(stored.data()), &size) != ERROR_SUCCESS)
        return false;
    return storedType == type && stored.left(size) == data;
}

bool WriteValue(win::HKEY root, const QString &path, const QString &name, win::DWORD type, const QByteArray &data,
                View view)
{
    bool written = true;
    bool first = true;
    for (const Target &target : TargetsOf(root, path, view)) {
        if (!std::exchange(first, false) && Holds(root, target, name, type, data))
            continue;
        OpenKey key;
        win::LONG result = CreateForWriting(key, root, target.path, target.view);
        if (result == ERROR_SUCCESS)
            result = win::RegSetValueExA(key.Get(), Ansi(name).c_str(), 0, type,
                                         reinterpret_cast<const win::BYTE *>(data.constData()),
                                         static_cast<win::DWORD>(data.size()));
        written = Writes::Note(result, ValueTarget(root, target.path, name)) && written;
    }
    return written;
}

bool ReadValue(win::HKEY root, const Target &target, const QString &name, QString &out)
{
    OpenKey key;
    if (!OpenForReading(key, root, target.path, KEY_ALL_ACCESS | target.view))
        return false;
    std::array<char, kValueBufferSize> buffer{};
    win::DWORD size = kValueBufferSize;
    win::DWORD type = REG_NONE;
    if (win::RegQueryValueExA(key.Get(), Ansi(name).c_str(), nullptr, &type,
                              reinterpret_cast<win::BYTE *>(buffer.data()), &size) != ERROR_SUCCESS)
        return false;
    QByteArray data(buffer.data(), static_cast<qsizetype>(size));
    if (!data.isEmpty() && data.back() == '\0')
        data.chop(1);
    switch (type) {
    case REG_SZ: out = QString::fromUtf8(data); break;
    case REG_BINARY: out = QString::fromLatin1(data); break;
    case REG_DWORD:
        // The buffer starts zeroed, so empty data reads as the zero byte.
        out = QString::number(data.isEmpty() ? 0 : static_cast<unsigned char>(data.front()));
        break;
    default: break; // other types leave the caller's text as it was
    }
    return true;
}

bool ListOneView(QStringList &list, win::HKEY root, const Target &target, win::REGSAM access)
{
    list.clear();
    OpenKey key;
    if (!OpenForReading(key, root, target.path, access | target.view))
        return false;
    std::array<char, kNameBufferSize + 1> name{};
    for (win::DWORD index = 0;; ++index) {
        win::DWORD length = kNameBufferSize + 1;
        if (win::RegEnumKeyExA(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return true;
        list.append(QString::fromUtf8(name.data(), static_cast<qsizetype>(length)));
    }
}

} // namespace

QString RootName(win::HKEY root)
{
    if (root == HKEY_CLASSES_ROOT)
        return QStringLiteral("HKEY_CLASSES_ROOT");
    if (root == HKEY_CURRENT_USER)
        return QStringLiteral("HKEY_CURRENT_USER");
    if (root == HKEY_LOCAL_MACHINE)
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    if (root == HKEY_USERS)
        return QStringLiteral("HKEY_USERS");
    return QStringLiteral("HKEY");
}

QString ValueTarget(win::HKEY root, const QString &path, const QString &name)
{
    return RootName(root) + QLatin1Char('\\') + path + QStringLiteral(" \"") + name + QLatin1Char('"');
}

bool HasTwoViews()
{
    OpenKey key;
    return win::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                              key.Out()) == ERROR_SUCCESS;
}

bool GetValue(win::HKEY root, const QString &path, const QString &name, QString &out, View view)
{
    const win::ReadScope oneLookup;
    for (const Target &target : TargetsOf(root, path, view))
        if (ReadValue(root, target, name, out))
            return true;
    out.clear();
    return false;
}

bool SetDword(win::HKEY root, const QString &path, const QString &name, qint32 number, View view)
{
    const auto bits = static_cast<quint32>(number);
    const char bytes[4] = {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
                           static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
    return WriteValue(root, path, name, REG_DWORD, QByteArray(bytes, 4), view);
}

bool SetString(win::HKEY root, const QString &path, const QString &name, const QString &text, View view)
{
    QByteArray data = QByteArray::fromStdString(Ansi(text));
    data.append('\0');
    return WriteValue(root, path, name, REG_SZ, data, view);
}

bool SetBinary(win::HKEY root, const QString &path, const QString &name, const QByteArray &bytes, View view)
{
    return WriteValue(root, path, name, REG_BINARY, bytes, view);
}

bool DeleteValue(win::HKEY root, const QString &path, const QString &name, View view)
{
    bool deleted = false;
    for (const Target &target : TargetsOf(root, path, view)) {
        OpenKey key;
        win::LONG result = CreateForWriting(key, root, target.path, target.view);
        if (result != ERROR_SUCCESS) {
            Writes::Note(result, ValueTarget(root, target.path, name));
            continue;
        }
        result = win::RegDeleteValueA(key.Get(), Ansi(name).c_str());
        // A value that is not there is already what the delete wanted: nothing failed to be saved.
        Writes::Note(result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result, ValueTarget(root, target.path, name));
        deleted = deleted || result == ERROR_SUCCESS;
    }
    return deleted;
}

bool DeleteKey(win::HKEY root, const QString &path, View view)
{
    bool deleted = true;
    for (const Target &target : TargetsOf(root, path, view)) {
        // With a view to keep, the key is deleted from its parent opened in that view.
        const qsizetype sep = target.path.lastIndexOf(QLatin1Char('\\'));
        OpenKey parent;
        win::LONG result = ERROR_SUCCESS;
        if (target.view && sep > 0)
            result = win::RegOpenKeyExA(root, Ansi(target.path.left(sep)).c_str(), 0, KEY_ALL_ACCESS | target.view,
                                        parent.Out());
        if (result == ERROR_SUCCESS)
            result = parent.Get() ? win::RegDeleteKeyA(parent.Get(), Ansi(target.path.mid(sep + 1)).c_str())
                                  : win::RegDeleteKeyA(root, Ansi(target.path).c_str());
        deleted = Writes::Note(result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result,
                               RootName(root) + QLatin1Char('\\') + target.path) &&
                  deleted;
    }
    return deleted;
}

bool ListSubKeys(QStringList &list, win::HKEY root, const QString &path, win::REGSAM access)
{
    return ListOneView(list, root, Target{path}, access);
}

bool ListEntries(QList<Entry> &entries, win::HKEY root, const QString &path, win::REGSAM access)
{
    const win::ReadScope oneLookup;
    entries.clear();
    bool opened = false;
    QStringList seen;
    QStringList names;
    for (const View view : {View::Bit64, View::Bit32}) {
        for (const Target &target : TargetsOf(root, path, view)) {
            opened = ListOneView(names, root, target, access) || opened;
            for (const QString &name : std::as_const(names)) {
                if (seen.contains(name, Qt::CaseInsensitive))
                    continue;
                seen.append(name);
                entries.append(Entry{name, view});
            }
        }
        if (!IsRedirected(root, path) || !HasTwoViews())
            break; // one view: listed once
    }
    return opened;
}

bool ListEntries(QListWidget &list, win::HKEY root, const QString &path, win::REGSAM access)
{
    QList<Entry> entries;
    const bool opened = ListEntries(entries, root, path, access);
    list.clear();
    for (const Entry &entry : std::as_const(entries)) {
        auto *row = new QListWidgetItem(entry.name, &list);
        row->setData(Qt::UserRole, static_cast<int>(entry.view));
    }
    return opened;
}

} // namespace Reg
