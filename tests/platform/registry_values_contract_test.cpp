// The contract of the registry's value functions: types, sizes, terminators, the conversion of
// string data between the ANSI code page (UTF-8) and UTF-16, and what a too-small buffer gets.
#include "RegistryContract.h"

#include <utility>

namespace
{

using namespace std::string_literals;

struct StoredRow {
    const char *name;
    win::DWORD type;
    std::string given; // passed with `count` bytes; a count of kNoData passes no data at all
    int count;
    win::DWORD size;      // what RegQueryValueExA reports
    std::string returned; // what it wrote, up to the junk it left
};
constexpr int kNoData = -1;

TEST_F(RegistryContract, ValuesComeBackAsStored)
{
    const std::string russian = "Привет, \"мир\"";
    const std::string wide = "\xF0\x9F\x98\x80 \xE4\xB8\xAD";
    const StoredRow rows[] = {
        {"abc", REG_SZ, "abc\0"s, 4, 4, "abc\0"s},
        // A count that misses the terminator is extended when the next byte is NUL.
        {"short", REG_SZ, "xyz\0"s, 3, 4, "xyz\0"s},
        // Stored without one, it comes back whole, ended by NT when the buffer has room.
        {"bare", REG_SZ, "abcX", 3, 3, "abc\0"s},
        {"nothing", REG_SZ, "", 0, 0, ""},
        {"null", REG_SZ, "", kNoData, 0, ""},
        {"terminator", REG_SZ, "\0"s, 1, 1, "\0"s},
        {"Заголовок", REG_SZ, russian + '\0', -2, static_cast<win::DWORD>(russian.size() + 1), russian + '\0'},
        {"wide", REG_SZ, wide + '\0', -2, static_cast<win::DWORD>(wide.size() + 1), wide + '\0'},
        {"two", REG_SZ, "ab\0cd\0"s, -2, 6, "ab\0cd\0"s},
        {"multi", REG_MULTI_SZ, "один\0two\0\0"s, -2, 14, "один\0two\0\0"s},
        {"expand", REG_EXPAND_SZ, "%SystemRoot%\\файл\0"s, -2, 22, "%SystemRoot%\\файл\0"s}, // never expanded
        {"bin", REG_BINARY, "\0\1\0\xFF\0"s, -2, 5, "\0\1\0\xFF\0"s},
        {"empty", REG_BINARY, "", kNoData, 0, ""},
        {"dw", REG_DWORD, "\x78\x56\x34\x12", -2, 4, "\x78\x56\x34\x12"},
        // Types this layer never interprets, and sizes that do not fit the type, come back as stored.
        {"odd", 0x100000, "\1\2\3", -2, 3, "\1\2\3"},
        {"shortdw", REG_DWORD, "\1\2", -2, 2, "\1\2"},
    };
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    for (const StoredRow &row : rows) {
        const auto count = static_cast<win::DWORD>(row.count == -2 ? row.given.size() : std::max(row.count, 0));
        const auto *data = row.count == kNoData ? nullptr : reinterpret_cast<const win::BYTE *>(row.given.data());
        ASSERT_EQ(win::RegSetValueExA(key, row.name, 0, row.type, data, count), ERROR_SUCCESS) << row.name;
        const Query q = QueryValue(key, row.name);
        ASSERT_EQ(q.rc, ERROR_SUCCESS) << row.name;
        EXPECT_EQ(q.type, row.type) << row.name;
        EXPECT_EQ(q.size, row.size) << row.name;
        EXPECT_EQ(q.Written(), row.returned) << row.name;
    }
}

TEST_F(RegistryContract, TooSmallBufferGetsTheSizeAndNoData)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetString(key, "abc", "abc");
    SetString(key, "Заголовок", "Привет");
    ASSERT_EQ(Set(key, "bin", REG_BINARY, "\x9\x8\x7\x6\x5"), ERROR_SUCCESS);
    SetDword(key, "dw", 7);
    const struct {
        const char *name;
        win::DWORD needed;
    } rows[] = {{"abc", 4}, {"ЗАГОЛОВОК", 13}, {"bin", 5}, {"dw", 4}};
    for (const auto &row : rows) {
        const Query q = QueryValue(key, row.name, row.needed - 1);
        EXPECT_EQ(q.rc, ERROR_MORE_DATA) << row.name;
        EXPECT_EQ(q.size, row.needed) << row.name;
        EXPECT_TRUE(q.UntouchedFrom(0)) << row.name;
        win::DWORD size = 0;
        EXPECT_EQ(win::RegQueryValueExA(key, row.name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, row.needed) << row.name << ": the size alone";
        EXPECT_EQ(QueryValue(key, row.name, row.needed).rc, ERROR_SUCCESS) << row.name << ": exactly the size";
    }
    ASSERT_EQ(win::RegSetValueExA(key, "bare", 0, REG_SZ, reinterpret_cast<const win::BYTE *>("abc"), 3),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "bare", 3).data[3], kJunk) << "no terminator where the buffer has no room";
    win::DWORD type = 0;
    EXPECT_EQ(win::RegQueryValueExA(key, "dw", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<win::DWORD>(REG_DWORD)) << "only the type";
}

TEST_F(RegistryContract, InvalidUtf8BecomesReplacementCharacters)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const std::string bad = "\xEF\xBF\xBD";
    // Each malformed part is one U+FFFD: a byte that starts nothing, or a lead byte with the
    // continuation bytes that fit it up to where the sequence turns out wrong.
    const std::pair<std::string, std::string> cases[] = {
        {"a\xFF"s + "b\xD0\0"s, "a" + bad + "b" + bad + '\0'},
        {"\xC0\x80\0"s, bad + bad + '\0'},               // C0 starts nothing
        {"\xE2\x82"s + "A\0"s, bad + "A\0"s},            // cut short
        {"\xE0\x80\xAF\0"s, bad + bad + '\0'},           // overlong
        {"\xED\xA0\x80\0"s, bad + bad + '\0'},           // a surrogate
        {"\xF4\x90\x80\x80\0"s, bad + bad + bad + '\0'}, // above U+10FFFF
        {"\xF0\x9F\x98"s + "A\0"s, bad + "A\0"s},        // cut short
        {"\xEF\xBF\xBF\0"s, "\xEF\xBF\xBF\0"s},          // U+FFFF is a character
    };
    for (const auto &[given, expected] : cases) {
        ASSERT_EQ(Set(key, "bad", REG_SZ, given), ERROR_SUCCESS);
        const Query q = QueryValue(key, "bad");
        ASSERT_EQ(q.rc, ERROR_SUCCESS);
        EXPECT_EQ(q.Bytes(), expected);
    }
    // Names are converted the same way.
    SetDword(key, "name\xFF", 5);
    EXPECT_EQ(QueryValue(key, ("name" + bad).c_str()).data[0], 5);
}

TEST_F(RegistryContract, ValueArgumentsAreChecked)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetDword(key, "dw", 7);
    win::BYTE data[8];
    win::DWORD size = sizeof data;
    win::DWORD reserved = 0;
    EXPECT_EQ(win::RegQueryValueExA(key, "dw", &reserved, nullptr, data, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(win::RegQueryValueExA(key, "dw", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(win::RegSetValueExA(key, "x", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
}

TEST_F(RegistryContract, TheDefaultValueHasNoName)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    EXPECT_EQ(QueryValue(key, nullptr).rc, ERROR_FILE_NOT_FOUND);
    SetString(key, nullptr, "standard");
    Query q = QueryValue(key, "");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.Bytes(), "standard\0"s);
    EXPECT_EQ(win::RegDeleteValueA(key, ""), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, nullptr).rc, ERROR_FILE_NOT_FOUND);
    SetString(key, "", "again");
    EXPECT_EQ(win::RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "").rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryContract, ValueNamesAreNotPaths)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetDword(key, "a\\b", 4);
    EXPECT_EQ(QueryValue(key, "A\\B").data[0], 4);
    EXPECT_TRUE(SubKeys(key).empty());
}

TEST_F(RegistryContract, ValueNamesAreLimitedTo16383Characters)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const std::string longest(16383, 'v');
    const std::string tooLong(16384, 'v');
    const win::DWORD one = 1;
    EXPECT_EQ(win::RegSetValueExA(key, longest.c_str(), 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&one), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, longest.c_str()).rc, ERROR_SUCCESS);
    EXPECT_EQ(win::RegSetValueExA(key, tooLong.c_str(), 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&one), 4),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryContract, DeletedValueIsGoneAndOthersStay)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetDword(key, "gone", 1);
    SetDword(key, "kept", 2);
    EXPECT_EQ(win::RegDeleteValueA(key, "GONE"), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "gone").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win::RegDeleteValueA(key, "gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryValue(key, "kept").data[0], 2);
}

} // namespace
