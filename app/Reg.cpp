#include "Reg.h"

#include "SaveReport.h"
#include "Strings.h"

#include <QListWidget>
#include <array>

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

win::LONG CreateForWriting(OpenKey &key, win::HKEY root, const QString &path)
{
    KeySecurity.nLength = 12;
    KeySecurity.lpSecurityDescriptor = nullptr;
    KeySecurity.bInheritHandle = true;
    win::DWORD disposition = 0;
    char noClass[] = "";
    return win::RegCreateKeyExA(root, Ansi(path).c_str(), 0, noClass, REG_OPTION_NON_VOLATILE, KEY_WRITE, &KeySecurity,
                                key.Out(), &disposition);
}

bool WriteValue(win::HKEY root, const QString &path, const QString &name, win::DWORD type, const QByteArray &data)
{
    OpenKey key;
    win::LONG result = CreateForWriting(key, root, path);
    if (result == ERROR_SUCCESS)
        result = win::RegSetValueExA(key.Get(), Ansi(name).c_str(), 0, type,
                                     reinterpret_cast<const win::BYTE *>(data.constData()),
                                     static_cast<win::DWORD>(data.size()));
    return Writes::Note(result, ValueTarget(root, path, name));
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

bool GetValue(win::HKEY root, const QString &path, const QString &name, QString &out)
{
    OpenKey key;
    if (!OpenForReading(key, root, path)) {
        out.clear();
        return false;
    }
    std::array<char, kValueBufferSize> buffer{};
    win::DWORD size = kValueBufferSize;
    win::DWORD type = REG_NONE;
    if (win::RegQueryValueExA(key.Get(), Ansi(name).c_str(), nullptr, &type,
                              reinterpret_cast<win::BYTE *>(buffer.data()), &size) != ERROR_SUCCESS) {
        out.clear();
        return false;
    }
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

bool SetDword(win::HKEY root, const QString &path, const QString &name, qint32 number)
{
    const auto bits = static_cast<quint32>(number);
    const char bytes[4] = {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
                           static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
    return WriteValue(root, path, name, REG_DWORD, QByteArray(bytes, 4));
}

bool SetString(win::HKEY root, const QString &path, const QString &name, const QString &text)
{
    QByteArray data = QByteArray::fromStdString(Ansi(text));
    data.append('\0');
    return WriteValue(root, path, name, REG_SZ, data);
}

bool SetBinary(win::HKEY root, const QString &path, const QString &name, const QByteArray &bytes)
{
    return WriteValue(root, path, name, REG_BINARY, bytes);
}

bool DeleteValue(win::HKEY root, const QString &path, const QString &name)
{
    OpenKey key;
    win::LONG result = CreateForWriting(key, root, path);
    if (result != ERROR_SUCCESS)
        return Writes::Note(result, ValueTarget(root, path, name));
    result = win::RegDeleteValueA(key.Get(), Ansi(name).c_str());
    // A value that is not there is already what the delete wanted: nothing failed to be saved.
    Writes::Note(result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result, ValueTarget(root, path, name));
    return result == ERROR_SUCCESS;
}

bool DeleteKey(win::HKEY root, const QString &path)
{
    const win::LONG result = win::RegDeleteKeyA(root, Ansi(path).c_str());
    return Writes::Note(result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result,
                        RootName(root) + QLatin1Char('\\') + path);
}

bool ListSubKeys(QStringList &list, win::HKEY root, const QString &path, win::REGSAM access)
{
    list.clear();
    OpenKey key;
    if (!OpenForReading(key, root, path, access))
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

bool ListSubKeys(QListWidget &list, win::HKEY root, const QString &path)
{
    QStringList names;
    const bool opened = ListSubKeys(names, root, path);
    list.clear();
    list.addItems(names);
    return opened;
}

} // namespace Reg
