// Wine's registry file format: what Wine wrote must come back byte for byte, and what we
// write must be what Wine would write. A change's place in a file and the wrapping of long
// values are compared with real Wine's files in wine_interop_test.
#include "hive.h"
#include "unicode.h"

#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using win::detail::Hive;
using win::detail::Key;
using win::detail::ValueData;
namespace regtext = win::detail::regtext;

namespace
{

constexpr std::uint64_t kNow = 0x1dd85af754f165cull;

// Lines written by Wine 8.0, one value each: escapes, Unicode, embedded NULs, every type.
const char *const kWineValueLines[] = {
    R"("s_escapes"="back\\slash \"quote\" [br] tab\there nl\nhere cr\rhere")",
    R"("s_unicode"="\x00e9a\xe9z\xe9\x4e2d1\x4e2dg\xd83d\xde00")",
    R"("s_embedded_nul"="a\0b\0c5\0")",
    R"("x_expand"=str(2):"%SystemRoot%\\x")",
    R"("m_multi"=str(7):"one\0two\0three\0")",
    R"("d_dword"=dword:000012ab)",
    R"("d_dword_3bytes"=hex(4):ab,12,00)",
    R"("q_qword"=hex(b):88,77,66,55,44,33,22,11)",
    R"("s_zero_len"=hex(1):)",
    R"("b_empty"=hex:)",
    R"("ru"="\x41f\x440\x438\x432\x435\x442, \"\x43c\x438\x440\"\\t\x442\x430\x431")",
    R"(@="txtfile")",
};

const char kWineFile[] = "WINE REGISTRY Version 2\n"
                         ";; All keys relative to REGISTRY\\\\Machine\n"
                         "\n"
                         "#arch=win64\n"
                         "\n"
                         "[Software\\\\Classes\\\\.txt] 1796581225\n"
                         "#time=1dd85ae76fd564a\n"
                         "@=\"txtfile\"\n"
                         "\"Content Type\"=\"text/plain\"\n"
                         "\n"
                         "[Software\\\\FmtTest\\\\Key \\[br\\] \"q\" \\xe9t\\xe9] 1796581652\n"
                         "#time=1dd85af754f165c\n"
                         "#class=\"Klass \\\"x\\\"\"\n"
                         "\"b\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\n"
                         "  18,19,1a,1b,1c,1d\n"
                         "\"d\"=dword:00000001\n"
                         "\n"
                         "[System\\\\CurrentControlSet] 1796581225\n"
                         "#time=1dd85ae76fd564a\n"
                         "#link\n"
                         "\"SymbolicLinkValue\"=hex(6):5c,00,52,00\n";

Key &Child(Key &key, std::string_view name)
{
    Key *child = Hive::FindChild(key, name);
    EXPECT_NE(child, nullptr) << name;
    return *child;
}

TEST(HiveFormat, WineValueLinesDecodeToWhatWineStoresAndEncodeToThemselves)
{
    Hive hive;
    std::string text = "WINE REGISTRY Version 2\n\n[K] 0\n";
    for (const char *line : kWineValueLines)
        text += std::string(line) + "\n";
    ASSERT_TRUE(hive.Parse(text));
    Key &key = Child(hive.Root(), "K");
    std::vector<std::string> encoded;
    for (const auto &value : key.values) {
        const ValueData data = hive.Read(value);
        EXPECT_NE(data.type, 0u) << value.name;
        encoded.push_back(regtext::FormatValue(value.name, data));
    }
    EXPECT_EQ(encoded, std::vector<std::string>(std::begin(kWineValueLines), std::end(kWineValueLines)));
    const auto read = [&](const char *name) { return hive.Read(*Hive::FindValue(key, name)); };

    EXPECT_EQ(read("s_unicode").bytes[0], 0xe9);
    EXPECT_EQ(read("d_dword_3bytes").type, 4u);
    EXPECT_EQ(read("d_dword_3bytes").bytes.size(), 3u);
    EXPECT_EQ(read("s_zero_len").type, 1u);
    EXPECT_TRUE(read("s_zero_len").bytes.empty());
    EXPECT_EQ(read("q_qword").type, 11u);
}

TEST(HiveFormat, UnchangedFileSavesByteForByteAndItsNamesAndClassesUnescape)
{
    Hive hive;
    ASSERT_TRUE(hive.Parse(kWineFile));
    EXPECT_EQ(hive.Serialize(), kWineFile);

    Key &classes = Child(Child(hive.Root(), "Software"), "Classes");
    EXPECT_EQ(hive.Read(*Hive::FindValue(Child(classes, ".TXT"), "content type")).bytes.size(), 22u);
    Key &fmt = Child(Child(hive.Root(), "Software"), "FmtTest");
    ASSERT_EQ(fmt.children.size(), 1u);
    const Key &key = *fmt.children[0];
    EXPECT_EQ(key.name, "Key [br] \"q\" ét\u00e9");
    ASSERT_TRUE(key.className);
    EXPECT_EQ(*key.className, "Klass \"x\"");
    EXPECT_TRUE(Child(Child(hive.Root(), "System"), "currentcontrolset").isLink);
    EXPECT_EQ(hive.LinkTarget(Child(Child(hive.Root(), "System"), "CurrentControlSet")), "\\R");
}

TEST(HiveFormat, NewKeysAndValuesTakeTheirSortedPlace)
{
    Hive hive;
    ASSERT_TRUE(hive.Parse("WINE REGISTRY Version 2\n\n[A\\\\b] 0\n\"m\"=\"1\"\n\n[A\\\\d] 0\n\"m\"=\"1\"\n"));
    Key &a = Child(hive.Root(), "A");
    Key &c = hive.AddChild(a, "C", kNow);
    hive.AddChild(a, "_x", kNow);
    hive.SetValue(c, "z", ValueData{4, {1, 0, 0, 0}}, kNow);
    hive.SetValue(c, "Y", ValueData{3, {}}, kNow);
    EXPECT_EQ(hive.Serialize(), "WINE REGISTRY Version 2\n"
                                "\n[A\\\\_x] 1796581652\n#time=1dd85af754f165c\n"
                                "\n[A\\\\b] 0\n\"m\"=\"1\"\n"
                                "\n[A\\\\C] 1796581652\n#time=1dd85af754f165c\n\"Y\"=hex:\n\"z\"=dword:00000001\n"
                                "\n[A\\\\d] 0\n\"m\"=\"1\"\n");
}

TEST(HiveFormat, LenientInputIsReadAndKept)
{
    // CRLF line ends, upper-case hex with blanks, a comment, an unknown line, a malformed value
    // and a key listed twice.
    const std::string text = "WINE REGISTRY Version 2\r\n"
                             "\r\n"
                             "[K] 5\r\n"
                             "; a comment\r\n"
                             "\"h\"=hex:0A , FF,\\\r\n"
                             "    01\r\n"
                             "garbage here\r\n"
                             "\"bad\"=hex(zz):00\r\n"
                             "\r\n"
                             "[k] 6\r\n"
                             "\"second\"=dword:1\r\n";
    Hive hive;
    ASSERT_TRUE(hive.Parse(text));
    Key &key = Child(hive.Root(), "K");
    EXPECT_EQ(hive.Read(*Hive::FindValue(key, "h")).bytes, (std::vector<std::uint8_t>{0x0a, 0xff, 0x01}));
    EXPECT_EQ(hive.Read(*Hive::FindValue(key, "bad")).type, 0u);
    EXPECT_EQ(hive.Read(*Hive::FindValue(key, "second")).bytes[0], 1);

    const std::string saved = hive.Serialize();
    EXPECT_NE(saved.find("; a comment"), std::string::npos);
    EXPECT_NE(saved.find("garbage here"), std::string::npos);
    EXPECT_NE(saved.find("\"bad\"=hex(zz):00"), std::string::npos);
    EXPECT_NE(saved.find("\"h\"=hex:0A , FF,\\\r\n    01"), std::string::npos);
    EXPECT_EQ(saved.find("[k] 6"), std::string::npos) << "the two blocks are merged into one";
    EXPECT_FALSE(Hive().Parse("")) << "an empty file is no registry file";
}

TEST(HiveFormat, EscapesFollowWinesRules)
{
    // Octal with the fewest digits unless an octal digit follows, four hex digits before a hex digit.
    const std::pair<std::u16string, std::string> escapes[] = {
        {{0x1, u'8'}, "\\18"},    {{0x1, u'7'}, "\\0017"},  {{0xe9, u'a'}, "\\x00e9a"},
        {{0xe9, u'z'}, "\\xe9z"}, {u"\x1b\x7f", "\\e\x7f"},
    };
    for (const auto &[units, escaped] : escapes) {
        std::string out;
        regtext::Escape(units, "\"\"", out);
        EXPECT_EQ(out, escaped);
    }
    std::u16string out;
    size_t pos = 0;
    ASSERT_TRUE(regtext::Unescape("\\x41\\x\\q\\101\\x4e2dZ\"", pos, '"', out));
    EXPECT_EQ(out, u"AxqA\x4e2dZ");
}

} // namespace
