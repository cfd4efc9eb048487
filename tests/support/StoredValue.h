// A registry value as it is stored, read straight through the platform for tests to compare.
#pragma once

#include "RegistryValues.h"
#include "win32.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <ostream>

struct StoredValue {
    win::DWORD type = REG_NONE;
    QByteArray data;

    bool operator==(const StoredValue &) const = default;
};

inline void PrintTo(const StoredValue &value, std::ostream *out)
{
    *out << "type " << value.type << ": " << value.data.toHex(' ').toStdString();
}

// The value's type and bytes, or nothing when the key or the value is missing.
inline std::optional<StoredValue> ReadStoredValue(win::HKEY root, const QString &path, const char *name)
{
    const auto value = regvalues::QueryValue(root, path.toStdString(), name);
    if (!value)
        return std::nullopt;
    return StoredValue{value->first, QByteArray::fromStdString(value->second)};
}

// Stores `data` as the value `name` of the key at `path`, making the key when it is missing;
// the platform's result code.
inline win::LONG WriteStoredValue(win::HKEY root, const QString &path, const char *name, win::DWORD type,
                                  const QByteArray &data)
{
    return regvalues::SetValue(root, path.toStdString(), name, type, data.toStdString());
}
