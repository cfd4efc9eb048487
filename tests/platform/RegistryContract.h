// The fixture of the registry contract suites: a fresh machine per test, the keys a test opens
// closed after it, and helpers that call only the `win` functions. Buffers are filled with junk
// first so that a test sees every byte a function wrote, as Wine's own registry tests do.
#pragma once

#include "Differences.h"
#include "TempMachine.h"
#include "win32.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

constexpr const char *kTestKey = "Software\\KorvexContract";
constexpr win::BYTE kJunk = 0xCC;

class RegistryContract : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (win::HKEY key : opened_)
            win::RegCloseKey(key);
    }

    win::LONG TryCreate(win::HKEY root, const char *path, win::HKEY &key, win::DWORD options = REG_OPTION_NON_VOLATILE,
                        const char *className = nullptr, win::DWORD *disposition = nullptr)
    {
        key = nullptr;
        std::string classCopy = className ? className : "";
        const win::LONG rc = win::RegCreateKeyExA(root, path, 0, className ? classCopy.data() : nullptr, options,
                                                  KEY_ALL_ACCESS, nullptr, &key, disposition);
        if (rc == ERROR_SUCCESS)
            opened_.push_back(key);
        return rc;
    }

    win::HKEY Create(win::HKEY root, const char *path, win::DWORD *disposition = nullptr)
    {
        win::HKEY key = nullptr;
        EXPECT_EQ(TryCreate(root, path, key, REG_OPTION_NON_VOLATILE, nullptr, disposition), ERROR_SUCCESS) << path;
        return key;
    }

    win::LONG Open(win::HKEY root, const char *path, win::HKEY &key, win::REGSAM access = KEY_ALL_ACCESS)
    {
        key = nullptr;
        const win::LONG rc = win::RegOpenKeyExA(root, path, 0, access, &key);
        if (rc == ERROR_SUCCESS)
            opened_.push_back(key);
        return rc;
    }

    static win::LONG Set(win::HKEY key, const char *name, win::DWORD type, const std::string &bytes)
    {
        return win::RegSetValueExA(key, name, 0, type, reinterpret_cast<const win::BYTE *>(bytes.data()),
                                   static_cast<win::DWORD>(bytes.size()));
    }

    static void SetString(win::HKEY key, const char *name, const std::string &text)
    {
        ASSERT_EQ(win::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const win::BYTE *>(text.c_str()),
                                      static_cast<win::DWORD>(text.size() + 1)),
                  ERROR_SUCCESS);
    }

    static void SetDword(win::HKEY key, const char *name, win::DWORD number)
    {
        ASSERT_EQ(win::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&number), 4),
                  ERROR_SUCCESS);
    }

    struct Query {
        win::LONG rc = 0;
        win::DWORD type = 0;
        win::DWORD size = 0;
        std::array<win::BYTE, 128> data{};

        std::string Bytes() const { return std::string(reinterpret_cast<const char *>(data.data()), size); }
        // Every byte written, up to the junk the buffer was filled with.
        std::string Written() const
        {
            const auto *bytes = reinterpret_cast<const char *>(data.data());
            return std::string(bytes, std::string_view(bytes, data.size()).find(static_cast<char>(kJunk)));
        }
        bool UntouchedFrom(std::size_t first) const
        {
            for (std::size_t i = first; i < data.size(); ++i)
                if (data[i] != kJunk)
                    return false;
            return true;
        }
    };

    static Query QueryValue(win::HKEY key, const char *name, win::DWORD capacity = 128)
    {
        Query q;
        q.data.fill(kJunk);
        q.type = 0xDEAD;
        q.size = capacity;
        q.rc = win::RegQueryValueExA(key, name, nullptr, &q.type, q.data.data(), &q.size);
        return q;
    }

    static std::vector<std::string> SubKeys(win::HKEY key)
    {
        std::vector<std::string> names;
        for (win::DWORD i = 0;; ++i) {
            char name[512];
            win::DWORD length = sizeof name;
            const win::LONG rc = win::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) {
                EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
                break;
            }
            names.emplace_back(name, length);
        }
        return names;
    }

    TempMachine machine_;
    std::vector<win::HKEY> opened_;
};
