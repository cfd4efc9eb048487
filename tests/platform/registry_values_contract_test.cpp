// The contract of the registry's value functions: types, sizes, terminators, the conversion of
// string data between the ANSI code page (UTF-8) and UTF-16, and what a too-small buffer gets.
#include "RegistryContract.h"

#include <utility>

namespace
{

using namespace std::string_literals;

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

    // Sizes without a buffer, and a buffer too small, which is left as it was.
    win::DWORD size = 0;
    EXPECT_EQ(win::RegQueryValueExA(key, "abc", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    q = QueryValue(key, "abc", 3);
    EXPECT_EQ(q.rc, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, 4u);
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_SZ));
    EXPECT_TRUE(q.UntouchedFrom(0));
    q = QueryValue(key, "abc", 4);
    EXPECT_EQ(q.rc, ERROR_SUCCESS) << "a buffer of exactly the size";
}

TEST_F(RegistryContract, StringStoredWithoutTerminatorComesBackWhole)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const win::BYTE text[] = {'a', 'b', 'c', 'X'};
    ASSERT_EQ(win::RegSetValueExA(key, "bare", 0, REG_SZ, text, 3), ERROR_SUCCESS);
    Query q = QueryValue(key, "bare");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.size, 3u);
    EXPECT_EQ(std::memcmp(q.data.data(), "abc", 3), 0);
    EXPECT_EQ(q.data[3], 0) << "NT ends the string when the buffer has room";
    EXPECT_EQ(q.data[4], kJunk);
    q = QueryValue(key, "bare", 3);
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.data[3], kJunk) << "and only then";
}

TEST_F(RegistryContract, EmptyStringsHaveNoTerminatorToGive)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    ASSERT_EQ(win::RegSetValueExA(key, "nothing", 0, REG_SZ, reinterpret_cast<const win::BYTE *>(""), 0),
              ERROR_SUCCESS);
    Query q = QueryValue(key, "nothing");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_SZ));
    EXPECT_EQ(q.size, 0u);
    EXPECT_TRUE(q.UntouchedFrom(0));
    ASSERT_EQ(win::RegSetValueExA(key, "null", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "null").size, 0u);
    SetString(key, "terminator", "");
    EXPECT_EQ(QueryValue(key, "terminator").size, 1u);
}

TEST_F(RegistryContract, RussianTextRoundTripsInTheAnsiCodePage)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const std::string text = "Привет, \"мир\"";
    SetString(key, "Заголовок", text);
    Query q = QueryValue(key, "заголовок");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.size, text.size() + 1) << "sizes count converted bytes";
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(q.data.data())), text);

    win::DWORD size = 0;
    EXPECT_EQ(win::RegQueryValueExA(key, "ЗАГОЛОВОК", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, text.size() + 1);
    q = QueryValue(key, "заголовок", static_cast<win::DWORD>(text.size()));
    EXPECT_EQ(q.rc, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, text.size() + 1);
}

TEST_F(RegistryContract, CharactersBeyondTheBasicPlaneSurvive)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const std::string text = "\xF0\x9F\x98\x80 \xE4\xB8\xAD";
    SetString(key, "wide", text);
    const Query q = QueryValue(key, "wide");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.Bytes(), text + '\0');
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

TEST_F(RegistryContract, EmbeddedNulsAreKeptWhereTheCountSaysSo)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    ASSERT_EQ(Set(key, "two", REG_SZ, "ab\0cd\0"s), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(key, "two").Bytes(), "ab\0cd\0"s);

    ASSERT_EQ(Set(key, "multi", REG_MULTI_SZ, "один\0two\0\0"s), ERROR_SUCCESS);
    Query q = QueryValue(key, "multi");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(q.Bytes(), "один\0two\0\0"s);

    ASSERT_EQ(Set(key, "expand", REG_EXPAND_SZ, "%SystemRoot%\\файл\0"s), ERROR_SUCCESS);
    q = QueryValue(key, "expand");
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(q.Bytes(), "%SystemRoot%\\файл\0"s) << "stored as given, never expanded";
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

    // Types this layer never interprets, and sizes that do not fit the type, come back as stored.
    const win::BYTE odd[] = {1, 2, 3};
    ASSERT_EQ(win::RegSetValueExA(key, "odd", 0, 0x100000, odd, 3), ERROR_SUCCESS);
    q = QueryValue(key, "odd");
    EXPECT_EQ(q.type, 0x100000u);
    EXPECT_EQ(q.size, 3u);
    ASSERT_EQ(win::RegSetValueExA(key, "shortdw", 0, REG_DWORD, odd, 2), ERROR_SUCCESS);
    q = QueryValue(key, "shortdw");
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_DWORD));
    EXPECT_EQ(q.size, 2u);
}

TEST_F(RegistryContract, TooSmallBufferGetsTheSizeAndNoData)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    const win::BYTE bytes[] = {9, 8, 7, 6, 5};
    ASSERT_EQ(win::RegSetValueExA(key, "bin", 0, REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
    Query q = QueryValue(key, "bin", 4);
    EXPECT_EQ(q.rc, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, 5u);
    EXPECT_EQ(q.type, static_cast<win::DWORD>(REG_BINARY));
    EXPECT_TRUE(q.UntouchedFrom(0));

    SetDword(key, "dw", 7);
    q = QueryValue(key, "dw", 3);
    EXPECT_EQ(q.rc, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, 4u);
    EXPECT_TRUE(q.UntouchedFrom(0));

    // Only the type.
    win::DWORD type = 0;
    EXPECT_EQ(win::RegQueryValueExA(key, "dw", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<win::DWORD>(REG_DWORD));
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
