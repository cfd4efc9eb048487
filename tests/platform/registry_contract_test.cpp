// The contract of the registry functions, exercised through the `win` functions only, so the
// same suite runs against the machine folder, Wine and Windows (see Differences.h): keys, their
// names and handles, and values with their types, sizes, terminators, the conversion of string
// data between the ANSI code page (UTF-8) and UTF-16, and what a too-small buffer gets.
// Buffers are filled with junk first so that a test sees every byte a function wrote, as Wine's
// own registry tests do; a fresh machine per test, the keys a test opens closed after it.
#include "Differences.h"
#include "TempMachine.h"
#include "win32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{

using namespace std::string_literals;

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
                        win::DWORD *disposition = nullptr)
    {
        key = nullptr;
        const win::LONG rc =
            win::RegCreateKeyExA(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, disposition);
        if (rc == ERROR_SUCCESS)
            opened_.push_back(key);
        return rc;
    }

    win::HKEY Create(win::HKEY root, const char *path, win::DWORD *disposition = nullptr)
    {
        win::HKEY key = nullptr;
        EXPECT_EQ(TryCreate(root, path, key, REG_OPTION_NON_VOLATILE, disposition), ERROR_SUCCESS) << path;
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

    static std::string DwordBytes(win::DWORD number) { return {reinterpret_cast<const char *>(&number), 4}; }
    static void SetString(win::HKEY key, const char *name, const std::string &text)
    {
        ASSERT_EQ(Set(key, name, REG_SZ, text + '\0'), ERROR_SUCCESS) << name;
    }
    static void SetDword(win::HKEY key, const char *name, win::DWORD number)
    {
        ASSERT_EQ(Set(key, name, REG_DWORD, DwordBytes(number)), ERROR_SUCCESS) << name;
    }

    struct Query {
        win::LONG rc = 0;
        win::DWORD type = 0;
        win::DWORD size = 0;
        std::array<win::BYTE, 128> data{};

        // Every byte written, up to the junk the buffer was filled with.
        std::string Written() const
        {
            const auto *bytes = reinterpret_cast<const char *>(data.data());
            return std::string(bytes, std::string_view(bytes, data.size()).find(static_cast<char>(kJunk)));
        }
        bool Untouched() const
        {
            return std::ranges::all_of(data, [](win::BYTE b) { return b == kJunk; });
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

// ---- Keys ------------------------------------------------------------------------------------

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

// Calls that must fail, each with its error code, and nothing done.
TEST_F(RegistryContract, FailuresHaveTheirErrorCodes)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Leaf");
    SetDword(key, "dw", 7);
    win::HKEY closed = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Closed");
    opened_.pop_back();
    ASSERT_EQ(win::RegCloseKey(closed), ERROR_SUCCESS);
    win::HKEY probe = nullptr;
    char name[16];
    win::DWORD length = sizeof name;
    const auto enumerate = [&](win::HKEY of) {
        length = sizeof name;
        return win::RegEnumKeyExA(of, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    };
    const std::tuple<const char *, std::function<win::LONG()>, win::LONG> calls[] = {
        {"open a missing key", [&] { return Open(key, "Missing", probe); }, ERROR_FILE_NOT_FOUND},
        {"query a missing value", [&] { return QueryValue(key, "absent").rc; }, ERROR_FILE_NOT_FOUND},
        {"delete a missing value", [&] { return win::RegDeleteValueA(key, "absent"); }, ERROR_FILE_NOT_FOUND},
        {"delete a missing key", [&] { return win::RegDeleteKeyA(key, "Missing"); }, ERROR_FILE_NOT_FOUND},
        {"enumerate no subkeys", [&] { return enumerate(key); }, ERROR_NO_MORE_ITEMS},
        {"open below a closed handle", [&] { return Open(closed, nullptr, probe); }, ERROR_INVALID_HANDLE},
        {"close a closed handle", [&] { return win::RegCloseKey(closed); }, ERROR_INVALID_HANDLE},
        {"close no handle", [] { return win::RegCloseKey(nullptr); }, ERROR_INVALID_HANDLE},
        {"close a root", [] { return win::RegCloseKey(HKEY_CURRENT_USER); }, ERROR_SUCCESS},
    };
    for (const auto &[what, call, expected] : calls)
        EXPECT_EQ(call(), expected) << what;
    EXPECT_EQ(SubKeys(Create(HKEY_CURRENT_USER, kTestKey)), (std::vector<std::string>{"Closed", "Leaf"}));
}

// Only a backslash separates the names of keys; value names are no paths.
TEST_F(RegistryContract, OnlyKeyPathsHaveParts)
{
    win::HKEY parent = Create(HKEY_CURRENT_USER, kTestKey);
    Create(parent, "one/two");
    SetDword(parent, "a\\b", 4);
    EXPECT_EQ(QueryValue(parent, "A\\B").data[0], 4);
    EXPECT_EQ(SubKeys(parent), std::vector<std::string>{"one/two"});
}

TEST_F(RegistryContract, NamesIgnoreCaseAndKeepTheirSpelling)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\MixedCase\\Ключ Ёлки Été");
    SetString(key, "ValueName", "first");
    SetString(key, "VALUENAME", "second"); // the same value: the first spelling stays

    win::HKEY same = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "SOFTWARE\\korvexcontract\\mixedcase\\КЛЮЧ ёлки éTÉ", same), ERROR_SUCCESS);
    const Query q = QueryValue(same, "valuename");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const char *>(q.data.data()), "second");

    win::HKEY parent = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\KORVEXCONTRACT", parent), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(parent), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryContract, SubkeysEnumerateInNameOrder)
{
    for (const char *name : {"beta", "_under", "gamma", "Alpha"})
        Create(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\" + name).c_str());
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    EXPECT_EQ(SubKeys(key),
              Expected(Difference::SubkeysSortLowerCased, std::vector<std::string>{"Alpha", "beta", "gamma", "_under"},
                       std::vector<std::string>{"_under", "Alpha", "beta", "gamma"}));
    const win::DWORD alpha = Has(Difference::SubkeysSortLowerCased) ? 1 : 0;

    // "Alpha" needs six characters with its terminator; with fewer, nothing is written.
    char name[8];
    std::memset(name, kJunk, sizeof name);
    win::DWORD length = 5;
    EXPECT_EQ(win::RegEnumKeyExA(key, alpha, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(static_cast<win::BYTE>(name[0]), kJunk);
    length = 6;
    ASSERT_EQ(win::RegEnumKeyExA(key, alpha, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(name, "Alpha");
}

// HKEY_CLASSES_ROOT is the machine's classes key and CurrentControlSet a link to ControlSet001;
// HKEY_USERS holds the default user, who is not the current one.
TEST_F(RegistryContract, KeysReachedByTwoPathsAreOneKey)
{
    const struct {
        win::HKEY root;
        const char *path;
        win::HKEY otherRoot;
        const char *otherPath;
        bool same;
    } rows[] = {
        {HKEY_CLASSES_ROOT, ".korvextest", HKEY_LOCAL_MACHINE, "Software\\Classes\\.korvextest", true},
        {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\KorvexContract", HKEY_LOCAL_MACHINE,
         "System\\ControlSet001\\Control\\KorvexContract", !Has(Difference::CurrentControlSetIsNoLink)},
        {HKEY_USERS, ".DEFAULT\\Software\\KorvexContract", HKEY_CURRENT_USER, kTestKey, false},
    };
    win::DWORD mark = 0;
    for (const auto &row : rows) {
        SetDword(Create(row.root, row.path), "mark", ++mark);
        win::HKEY other = nullptr;
        const win::LONG rc = Open(row.otherRoot, row.otherPath, other);
        EXPECT_EQ(rc, row.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND) << row.otherPath;
        if (row.same && rc == ERROR_SUCCESS) {
            EXPECT_EQ(QueryValue(other, "mark").data[0], mark) << row.otherPath;
        }
    }
    win::HKEY system = nullptr;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "System", system), ERROR_SUCCESS);
    const std::vector<std::string> sets = SubKeys(system);
    EXPECT_EQ(std::count(sets.begin(), sets.end(), "CurrentControlSet"), 1);
}

TEST_F(RegistryContract, AccessRightsOfAHandleAreEnforced)
{
    Create(HKEY_CURRENT_USER, kTestKey);
    win::HKEY readOnly = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, readOnly, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(Set(readOnly, "x", REG_DWORD, DwordBytes(1)), ERROR_ACCESS_DENIED);
    win::HKEY writeOnly = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, writeOnly, KEY_WRITE), ERROR_SUCCESS);
    SetDword(writeOnly, "x", 1);
    EXPECT_EQ(QueryValue(writeOnly, "x").rc, ERROR_ACCESS_DENIED);
    EXPECT_EQ(win::RegDeleteValueA(readOnly, "x"), ERROR_ACCESS_DENIED);

    // Subkeys are made and opened through a handle whatever its rights: the key's own security
    // decides, and the handle of the new key has the rights asked for.
    win::HKEY child = nullptr;
    EXPECT_EQ(TryCreate(readOnly, "New", child), ERROR_SUCCESS);
    SetDword(child, "x", 1);
    EXPECT_EQ(Open(readOnly, "New", child), ERROR_SUCCESS);
}

TEST_F(RegistryContract, DeletingAKeyWithSubkeys)
{
    win::HKEY leaf = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed\\Child\\Leaf");
    SetDword(leaf, "v", 1);
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Kept");

    if (!Has(Difference::DeleteKeyTakesSubkeys)) {
        EXPECT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\doomed"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(QueryValue(leaf, "v").rc, ERROR_SUCCESS) << "nothing was deleted";
        ASSERT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed\\Child\\Leaf"),
                  ERROR_SUCCESS);
        ASSERT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed\\Child"), ERROR_SUCCESS);
    }
    EXPECT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\doomed"), ERROR_SUCCESS);
    win::HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryValue(leaf, "v").rc, ERROR_KEY_DELETED) << "a handle to a deleted key";
    EXPECT_NE(win::RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_SUCCESS);

    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Kept"});
}

TEST_F(RegistryContract, HandleToADeletedKeyNeverReachesItsSuccessor)
{
    win::HKEY old = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Phoenix");
    SetDword(old, "generation", 1);
    ASSERT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\Phoenix"), ERROR_SUCCESS);
    win::HKEY successor = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Phoenix");
    SetDword(successor, "generation", 2);
    win::HKEY child = nullptr;
    for (const win::LONG rc : {QueryValue(old, "generation").rc, Set(old, "generation", REG_DWORD, DwordBytes(3)),
                               TryCreate(old, "Child", child), Open(old, nullptr, child)})
        EXPECT_EQ(rc, ERROR_KEY_DELETED);
    EXPECT_EQ(QueryValue(successor, "generation").data[0], 2);
    EXPECT_TRUE(SubKeys(successor).empty());
}

// ---- Values ----------------------------------------------------------------------------------

constexpr int kWhole = -2;  // the count is the size of what is given
constexpr int kNoData = -1; // no data at all
constexpr win::DWORD kAsReturned = 0xFFFFFFFF;

struct StoredRow {
    const char *name;
    win::DWORD type;
    std::string given;
    std::string returned;          // what RegQueryValueExA wrote, up to the junk it left
    int count = kWhole;            // the bytes of `given` passed
    win::DWORD size = kAsReturned; // what RegQueryValueExA reports
};

// Every value comes back as stored, string data converted to UTF-16 and back; a query without a
// buffer gets the size alone, and a buffer one byte short gets the size and no data.
TEST_F(RegistryContract, ValuesComeBackAsStoredAndTooSmallBuffersGetTheSize)
{
    const std::string russian = "Привет, \"мир\"";
    const std::string wide = "\xF0\x9F\x98\x80 \xE4\xB8\xAD";
    const std::string bad = "\xEF\xBF\xBD";
    const StoredRow rows[] = {
        {"abc", REG_SZ, "abc\0"s, "abc\0"s},
        // A count that misses the terminator is extended when the next byte is NUL.
        {"short", REG_SZ, "xyz\0"s, "xyz\0"s, 3},
        // Stored without one, it comes back whole, ended by NT when the buffer has room.
        {"bare", REG_SZ, "abcX", "abc\0"s, 3, 3},
        {"nothing", REG_SZ, "", ""},
        {"null", REG_SZ, "", "", kNoData},
        {"terminator", REG_SZ, "\0"s, "\0"s},
        {"Заголовок", REG_SZ, russian + '\0', russian + '\0'},
        {"wide", REG_SZ, wide + '\0', wide + '\0'},
        {"two", REG_SZ, "ab\0cd\0"s, "ab\0cd\0"s},
        {"multi", REG_MULTI_SZ, "один\0two\0\0"s, "один\0two\0\0"s},
        {"expand", REG_EXPAND_SZ, "%SystemRoot%\\файл\0"s, "%SystemRoot%\\файл\0"s}, // never expanded
        {"bin", REG_BINARY, "\0\1\0\xFF\0"s, "\0\1\0\xFF\0"s},
        {"dw", REG_DWORD, "\x78\x56\x34\x12", "\x78\x56\x34\x12"},
        // Types this layer never interprets come back as stored.
        {"odd", 0x100000, "\1\2\3", "\1\2\3"},
        // Invalid UTF-8: each malformed part is one U+FFFD, a byte that starts nothing or a lead
        // byte with the continuation bytes that fit it up to where the sequence turns out wrong.
        {"stray", REG_SZ, "a\xFF"s + "b\xD0\0"s, "a" + bad + "b" + bad + '\0'},
        {"cut short", REG_SZ, "\xE2\x82"s + "A\0"s, bad + "A\0"s},
        {"overlong", REG_SZ, "\xE0\x80\xAF\0"s, bad + bad + '\0'},
        {"a surrogate", REG_SZ, "\xED\xA0\x80\0"s, bad + bad + '\0'},
        {"above U+10FFFF", REG_SZ, "\xF4\x90\x80\x80\0"s, bad + bad + bad + '\0'},
        {"U+FFFF is a character", REG_SZ, "\xEF\xBF\xBF\0"s, "\xEF\xBF\xBF\0"s},
    };
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    for (const StoredRow &row : rows) {
        const auto count = static_cast<win::DWORD>(row.count == kWhole ? row.given.size() : std::max(row.count, 0));
        const auto *data = row.count == kNoData ? nullptr : reinterpret_cast<const win::BYTE *>(row.given.data());
        const auto expectedSize = row.size == kAsReturned ? static_cast<win::DWORD>(row.returned.size()) : row.size;
        ASSERT_EQ(win::RegSetValueExA(key, row.name, 0, row.type, data, count), ERROR_SUCCESS) << row.name;
        const Query q = QueryValue(key, row.name);
        ASSERT_EQ(q.rc, ERROR_SUCCESS) << row.name;
        EXPECT_EQ(q.type, row.type) << row.name;
        EXPECT_EQ(q.size, expectedSize) << row.name;
        EXPECT_EQ(q.Written(), row.returned) << row.name;
        win::DWORD size = 0;
        EXPECT_EQ(win::RegQueryValueExA(key, row.name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS) << row.name;
        EXPECT_EQ(size, expectedSize) << row.name << ": the size alone";
        EXPECT_EQ(QueryValue(key, row.name, expectedSize).rc, ERROR_SUCCESS) << row.name << ": exactly the size";
        if (expectedSize > 0) {
            const Query tooSmall = QueryValue(key, row.name, expectedSize - 1);
            EXPECT_EQ(tooSmall.rc, ERROR_MORE_DATA) << row.name;
            EXPECT_EQ(tooSmall.size, expectedSize) << row.name;
            EXPECT_TRUE(tooSmall.Untouched()) << row.name;
        }
    }
    EXPECT_EQ(QueryValue(key, "bare", 3).data[3], kJunk) << "no terminator where the buffer has no room";
    // Names are converted as data is.
    SetDword(key, "name\xFF", 5);
    EXPECT_EQ(QueryValue(key, ("name" + bad).c_str()).data[0], 5);
}

// The default value answers to no name and to the empty one; other names ignore case. A deleted
// value is gone and the others stay.
TEST_F(RegistryContract, DeletedValuesAreGoneTheDefaultOneByEitherOfItsNames)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetDword(key, "kept", 2);
    const std::pair<const char *, const char *> names[] = {{nullptr, ""}, {"", nullptr}, {"gone", "GONE"}};
    for (const auto &[name, otherName] : names) {
        const char *shown = name ? name : "(null)";
        EXPECT_EQ(QueryValue(key, name).rc, ERROR_FILE_NOT_FOUND) << shown;
        SetString(key, name, "standard");
        EXPECT_EQ(QueryValue(key, otherName).Written(), "standard\0"s) << shown;
        EXPECT_EQ(win::RegDeleteValueA(key, otherName), ERROR_SUCCESS) << shown;
        EXPECT_EQ(QueryValue(key, name).rc, ERROR_FILE_NOT_FOUND) << shown;
        EXPECT_EQ(win::RegDeleteValueA(key, name), ERROR_FILE_NOT_FOUND) << shown;
    }
    EXPECT_EQ(QueryValue(key, "kept").data[0], 2);
}

} // namespace
