// The registry functions' contract, exercised through the `win` functions only, so the same
// suite can run against the real Windows functions. Buffers are filled with junk first and the
// byte after the data is checked, as Wine's own registry tests do.
#include "TempMachine.h"
#include "win32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

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

    win::HKEY Create(win::HKEY root, const char *path, win::DWORD *disposition = nullptr)
    {
        win::HKEY key = nullptr;
        EXPECT_EQ(win::RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                       disposition),
                  ERROR_SUCCESS)
            << path;
        opened_.push_back(key);
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
        std::array<win::BYTE, 64> data{};
    };

    static Query QueryValue(win::HKEY key, const char *name, win::DWORD capacity = 64)
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
            char name[256];
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

TEST_F(RegistryContract, CreatesKeysAlongThePathAndReportsDisposition)
{
    win::DWORD disposition = 0;
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\Er\\Key", &disposition);
    EXPECT_EQ(disposition, static_cast<win::DWORD>(REG_CREATED_NEW_KEY));
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\Er\\Key", &disposition);
    EXPECT_EQ(disposition, static_cast<win::DWORD>(REG_OPENED_EXISTING_KEY));

    win::HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\Er", key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Key"});
    // A trailing backslash names the same key; a leading one is refused.
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\", key), ERROR_SUCCESS);
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "\\Software\\KorvexContract", key), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryContract, MissingThingsHaveTheirErrorCodes)
{
    win::HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Missing", key), ERROR_FILE_NOT_FOUND);
    key = Create(HKEY_CURRENT_USER, kTestKey);
    EXPECT_EQ(QueryValue(key, "absent").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win::RegDeleteValueA(key, "absent"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\Missing"), ERROR_FILE_NOT_FOUND);
    char name[8];
    win::DWORD length = sizeof name;
    EXPECT_EQ(win::RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    win::HKEY closed = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Closed");
    opened_.pop_back();
    EXPECT_EQ(win::RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(win::RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(win::RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(RegistryContract, NamesIgnoreCaseAndKeepTheirSpelling)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\MixedCase\\Ключ");
    SetString(key, "ValueName", "first");
    SetString(key, "VALUENAME", "second"); // the same value: the first spelling stays

    win::HKEY same = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "SOFTWARE\\korvexcontract\\mixedcase\\КЛЮЧ", same), ERROR_SUCCESS);
    const Query q = QueryValue(same, "valuename");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const char *>(q.data.data()), "second");

    win::HKEY parent = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\KORVEXCONTRACT", parent), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(parent), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryContract, SubkeysEnumerateInNameOrderWithSizeChecks)
{
    for (const char *name : {"beta", "Alpha", "_under", "gamma"})
        Create(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\" + name).c_str());
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"_under", "Alpha", "beta", "gamma"}));

    char name[5];
    std::memset(name, kJunk, sizeof name);
    win::DWORD length = sizeof name; // "Alpha" needs six characters with its terminator
    EXPECT_EQ(win::RegEnumKeyExA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
}

TEST_F(RegistryContract, ClassesRootIsTheMachineClassesKey)
{
    win::HKEY viaRoot = Create(HKEY_CLASSES_ROOT, ".korvextest");
    SetString(viaRoot, "", "korvexfile");

    win::HKEY viaMachine = nullptr;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Classes\\.korvextest", viaMachine), ERROR_SUCCESS);
    const Query q = QueryValue(viaMachine, nullptr);
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const char *>(q.data.data()), "korvexfile");
}

TEST_F(RegistryContract, UsersHoldTheDefaultUserAndTheCurrentUser)
{
    win::HKEY users = nullptr;
    ASSERT_EQ(Open(HKEY_USERS, nullptr, users), ERROR_SUCCESS);
    const std::vector<std::string> names = SubKeys(users);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), ".DEFAULT");

    win::HKEY defaultUser = Create(HKEY_USERS, ".DEFAULT\\Software\\KorvexContract");
    SetDword(defaultUser, "d", 7);
    win::HKEY currentUser = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, kTestKey, currentUser), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryContract, StringSizesCountTheTerminatorOnce)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetString(key, "abc", "abc");
    Query q = QueryValue(key, "abc");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_SZ));
    EXPECT_EQ(q.size, 4u);
    EXPECT_EQ(std::memcmp(q.data.data(), "abc", 4), 0);
    EXPECT_EQ(q.data[4], kJunk) << "the byte after the data was written";

    // A count that misses the terminator is extended when the next byte is NUL.
    ASSERT_EQ(win::RegSetValueExA(key, "short", 0, REG_SZ, reinterpret_cast<const win::BYTE *>("xyz"), 3),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "short").size, 4u);

    // Sizes without a buffer, and a buffer too small.
    win::DWORD size = 0;
    EXPECT_EQ(win::RegQueryValueExA(key, "abc", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    q = QueryValue(key, "abc", 2);
    EXPECT_EQ(q.rc, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, 4u);
}

TEST_F(RegistryContract, StringStoredWithoutTerminatorComesBackWhole)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const win::BYTE text[] = {'a', 'b', 'c', 'X'};
    ASSERT_EQ(win::RegSetValueExA(key, "bare", 0, REG_SZ, text, 3), ERROR_SUCCESS);
    const Query q = QueryValue(key, "bare");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.size, 3u);
    EXPECT_EQ(std::memcmp(q.data.data(), "abc", 3), 0);
    EXPECT_EQ(q.data[3], 0) << "NT ends the string when the buffer has room";
    EXPECT_EQ(q.data[4], kJunk);
}

TEST_F(RegistryContract, RussianTextRoundTripsInTheAnsiCodePage)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const std::string text = "Привет, \"мир\"";
    SetString(key, "Заголовок", text);
    const Query q = QueryValue(key, "заголовок");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.size, text.size() + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(q.data.data())), text);
}

TEST_F(RegistryContract, BinaryAndDwordDataSurviveExactly)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const win::BYTE bytes[] = {0, 1, 0, 0xFF, 0};
    ASSERT_EQ(win::RegSetValueExA(key, "bin", 0, REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
    Query q = QueryValue(key, "bin");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_BINARY));
    ASSERT_EQ(q.size, sizeof bytes);
    EXPECT_EQ(std::memcmp(q.data.data(), bytes, sizeof bytes), 0);
    EXPECT_EQ(q.data[sizeof bytes], kJunk);

    ASSERT_EQ(win::RegSetValueExA(key, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "empty").size, 0u);

    SetDword(key, "dw", 0x12345678);
    q = QueryValue(key, "dw");
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_DWORD));
    ASSERT_EQ(q.size, 4u);
    EXPECT_EQ(q.data[0], 0x78);
    EXPECT_EQ(q.data[3], 0x12);

    // Types this layer never interprets come back as stored.
    const win::BYTE odd[] = {1, 2, 3};
    ASSERT_EQ(win::RegSetValueExA(key, "odd", 0, 0x100000, odd, 3), ERROR_SUCCESS);
    q = QueryValue(key, "odd");
    EXPECT_EQ(q.type, 0x100000u);
    EXPECT_EQ(q.size, 3u);
}

TEST_F(RegistryContract, AccessRightsOfAHandleAreEnforced)
{
    Create(HKEY_CURRENT_USER, kTestKey);
    win::HKEY readOnly = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, readOnly, KEY_READ), ERROR_SUCCESS);
    const win::DWORD one = 1;
    EXPECT_EQ(win::RegSetValueExA(readOnly, "x", 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&one), 4),
              ERROR_ACCESS_DENIED);
    win::HKEY writeOnly = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, writeOnly, KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(win::RegSetValueExA(writeOnly, "x", 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&one), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(writeOnly, "x").rc, ERROR_ACCESS_DENIED);
}

TEST_F(RegistryContract, DeletingAKeyTakesItsSubkeysAlong)
{
    win::HKEY leaf = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed\\Child\\Leaf");
    SetDword(leaf, "v", 1);
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Kept");

    EXPECT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\doomed"), ERROR_SUCCESS);
    win::HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryValue(leaf, "v").rc, ERROR_KEY_DELETED) << "a handle to a deleted key";
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Kept"});
    EXPECT_NE(win::RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_SUCCESS);
}

TEST_F(RegistryContract, DeletedValueIsGoneAndOthersStay)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetDword(key, "gone", 1);
    SetDword(key, "kept", 2);
    EXPECT_EQ(win::RegDeleteValueA(key, "GONE"), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "gone").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryValue(key, "kept").data[0], 2);
}

TEST_F(RegistryContract, PathThroughCurrentControlSetReachesControlSet001)
{
    // Every Windows has this link; a Wine prefix keeps it as a link key in system.reg.
    win::HKEY viaLink = Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\KorvexContract");
    SetDword(viaLink, "linked", 5);
    win::HKEY target = nullptr;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "System\\ControlSet001\\Control\\KorvexContract", target), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(target, "linked").data[0], 5);
    win::HKEY set = nullptr;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "System", set), ERROR_SUCCESS);
    const std::vector<std::string> names = SubKeys(set);
    EXPECT_EQ(std::count(names.begin(), names.end(), "CurrentControlSet"), 1);
}

} // namespace
