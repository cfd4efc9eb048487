// A registry value as it is stored, read straight through the platform for tests to compare.
#pragma once

#include "win32.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

struct StoredValue {
    win::DWORD type = REG_NONE;
    QByteArray data;
};

// The value's type and bytes, or nothing when the key or the value is missing.
inline std::optional<StoredValue> ReadStoredValue(win::HKEY root, const QString &path, const char *name)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(root, path.toUtf8().constData(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::array<char, 4096> buffer{};
    win::DWORD size = buffer.size();
    StoredValue stored;
    const auto result =
        win::RegQueryValueExA(key, name, nullptr, &stored.type, reinterpret_cast<win::BYTE *>(buffer.data()), &size);
    win::RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    stored.data = QByteArray(buffer.data(), static_cast<qsizetype>(size));
    return stored;
}

// Stores `data` as the value `name` of the key at `path`, making the key when it is missing;
// the platform's result code.
inline win::LONG WriteStoredValue(win::HKEY root, const QString &path, const char *name, win::DWORD type,
                                  const QByteArray &data)
{
    win::HKEY key = nullptr;
    win::LONG result =
        win::RegCreateKeyExA(root, path.toUtf8().constData(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    result = win::RegSetValueExA(key, name, 0, type, reinterpret_cast<const win::BYTE *>(data.constData()),
                                 static_cast<win::DWORD>(data.size()));
    win::RegCloseKey(key);
    return result;
}
