#include "code_page.h"

#include "machine.h"
#include "machine_files.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <memory>

namespace win::detail
{

namespace
{

// Languages whose Windows locales have an ANSI code page other than 1252.
struct LanguageCodePage {
    std::string_view language;
    DWORD codePage;
};
constexpr std::array<LanguageCodePage, 33> kLanguageCodePages{{
    {"cs", 1250}, {"hr", 1250}, {"hu", 1250}, {"pl", 1250}, {"ro", 1250}, {"sk", 1250}, {"sl", 1250},
    {"sq", 1250}, {"bs", 1250}, {"be", 1251}, {"bg", 1251}, {"kk", 1251}, {"ky", 1251}, {"mk", 1251},
    {"mn", 1251}, {"ru", 1251}, {"sr", 1251}, {"tt", 1251}, {"uk", 1251}, {"el", 1253}, {"tr", 1254},
    {"az", 1254}, {"he", 1255}, {"ar", 1256}, {"fa", 1256}, {"ur", 1256}, {"et", 1257}, {"lt", 1257},
    {"lv", 1257}, {"vi", 1258}, {"th", 874},  {"ja", 932},  {"ko", 949},
}};
// Chinese: traditional in Taiwan, Hong Kong and Macao, simplified elsewhere.
constexpr DWORD kSimplifiedChinese = 936;
constexpr DWORD kTraditionalChinese = 950;
constexpr std::array<std::string_view, 3> kTraditionalChineseCountries{"TW", "HK", "MO"};
constexpr DWORD kWesternCodePage = 1252;

constexpr char32_t kReplacement = 0xFFFD;

using Converter = std::unique_ptr<void, void (*)(iconv_t)>;

Converter Open(const std::string &to, const std::string &from)
{
    const iconv_t handle = iconv_open(to.c_str(), from.c_str());
    if (handle == reinterpret_cast<iconv_t>(-1))
        return Converter(nullptr, [](iconv_t) {});
    return Converter(handle, [](iconv_t h) { iconv_close(h); });
}

std::string IconvName(DWORD codePage)
{
    return "CP" + std::to_string(codePage);
}

// Converts as much of `input` as the converter takes, appending to `output`; returns how many
// bytes of `input` it took (all of them unless a sequence has no place or is broken).
size_t ConvertSome(iconv_t converter, std::string_view input, std::string &output)
{
    std::array<char, 1024> chunk{};
    char *in = const_cast<char *>(input.data());
    size_t inLeft = input.size();
    while (inLeft > 0) {
        char *out = chunk.data();
        size_t outLeft = chunk.size();
        const size_t rc = iconv(converter, &in, &inLeft, &out, &outLeft);
        output.append(chunk.data(), chunk.size() - outLeft);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG)
            break;
    }
    return input.size() - inLeft;
}

void AppendUtf8(std::string &text, char32_t c)
{
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A byte that the single-byte code page leaves undefined (the converter refuses it alone).
bool IsUndefinedByte(DWORD codePage, unsigned char byte)
{
    const Converter converter = Open("UTF-8", IconvName(codePage));
    std::string ignored;
    const char alone = static_cast<char>(byte);
    return converter && ConvertSome(converter.get(), std::string_view(&alone, 1), ignored) == 0;
}

} // namespace

DWORD WineAnsiCodePage(std::string_view locale)
{
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    const size_t underscore = name.find('_');
    const std::string_view language = name.substr(0, underscore);
    const std::string_view country = underscore == std::string_view::npos ? "" : name.substr(underscore + 1);
    if (language == "zh") {
        for (const std::string_view traditional : kTraditionalChineseCountries)
            if (country == traditional)
                return kTraditionalChinese;
        return kSimplifiedChinese;
    }
    for (const LanguageCodePage &entry : kLanguageCodePages)
        if (entry.language == language)
            return entry.codePage;
    return kWesternCodePage;
}

std::string WineLocale()
{
    for (const char *variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char *value = std::getenv(variable); value && *value)
            return value;
    return "C";
}

std::string CodePageToUtf8(std::string_view bytes, DWORD codePage)
{
    const Converter converter = Open("UTF-8", IconvName(codePage));
    if (!converter)
        return std::string(bytes);
    std::string text;
    while (!bytes.empty()) {
        bytes.remove_prefix(ConvertSome(converter.get(), bytes, text));
        if (bytes.empty())
            break;
        const auto byte = static_cast<unsigned char>(bytes.front());
        AppendUtf8(text, IsUndefinedByte(codePage, byte) ? char32_t{byte} : kReplacement);
        bytes.remove_prefix(1);
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return text;
}

std::optional<std::string> Utf8ToCodePage(std::string_view utf8, DWORD codePage)
{
    const Converter converter = Open(IconvName(codePage), "UTF-8");
    if (!converter)
        return std::nullopt;
    std::string bytes;
    while (!utf8.empty()) {
        utf8.remove_prefix(ConvertSome(converter.get(), utf8, bytes));
        if (utf8.empty())
            break;
        // A control character U+0080-U+009F stands for the undefined byte of its number.
        const auto lead = static_cast<unsigned char>(utf8[0]);
        const auto second = utf8.size() > 1 ? static_cast<unsigned char>(utf8[1]) : 0;
        const auto control = static_cast<unsigned char>(0x80 | (second & 0x3F));
        if (lead != 0xC2 || second < 0x80 || second > 0x9F || !IsUndefinedByte(codePage, control))
            return std::nullopt;
        bytes += static_cast<char>(control);
        utf8.remove_prefix(2);
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return bytes;
}

std::string MachineTextToUtf8(std::string_view bytes)
{
    if (IsUtf8BeyondAscii(bytes))
        return std::string(bytes);
    return CodePageToUtf8(bytes, MachineAnsiCodePage());
}

std::optional<std::string> Utf8ToMachineText(std::string_view utf8)
{
    auto bytes = Utf8ToCodePage(utf8, MachineAnsiCodePage());
    if (!bytes)
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return bytes;
}

std::optional<DWORD> RegistryAnsiCodePage()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Nls\\CodePage", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::array<char, 16> text{};
    DWORD size = text.size() - 1;
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, "ACP", nullptr, &type, reinterpret_cast<BYTE *>(text.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    char *end = nullptr;
    const unsigned long number = std::strtoul(text.data(), &end, 10);
    if (end == text.data() || number == 0)
        return std::nullopt;
    return static_cast<DWORD>(number);
}

} // namespace win::detail

namespace win
{

std::uint32_t MachineAnsiCodePage()
{
    // A Windows 9x disk image is a machine of its own: its registry names the code page. Wine
    // takes it from the locale it runs in, whatever the prefix's registry says.
    if (const unsigned guest = GuestAnsiCodePage(); guest != 0)
        return guest;
    return detail::WineAnsiCodePage(detail::WineLocale());
}

} // namespace win
