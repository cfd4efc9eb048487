#include "unicode.h"

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <locale.h>

namespace win::detail
{

namespace
{

// Decodes one code point; returns false on an invalid or truncated sequence and skips a byte.
bool NextCodePoint(std::string_view s, size_t &i, char32_t &cp)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        cp = lead;
        ++i;
        return true;
    }
    int extra = 0;
    char32_t min = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + extra >= s.size()) {
        ++i;
        return false;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += extra + 1;
    return cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

void AppendUtf16(std::u16string &out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The C library's Unicode case table, independent of the process's own locale setting.
locale_t UnicodeLocale()
{
    static const locale_t locale = [] { return newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr)); }();
    return locale;
}

int AsciiLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

// Reads the next UTF-16 unit of a UTF-8 string; a pending low surrogate is kept in `pending`.
char16_t NextUnit(std::string_view s, size_t &i, char16_t &pending)
{
    if (pending) {
        const char16_t unit = pending;
        pending = 0;
        return unit;
    }
    char32_t cp = 0;
    while (i < s.size()) {
        if (NextCodePoint(s, i, cp)) {
            if (cp >= 0x10000) {
                cp -= 0x10000;
                pending = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
                return static_cast<char16_t>(0xD800 + (cp >> 10));
            }
            return static_cast<char16_t>(cp);
        }
    }
    return 0;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    char32_t cp = 0;
    while (i < utf8.size()) {
        if (NextCodePoint(utf8, i, cp))
            AppendUtf16(out, cp);
    }
    return out;
}

std::u16string AnsiToUtf16(std::string_view ansi)
{
    std::u16string out;
    out.reserve(ansi.size());
    size_t i = 0;
    // The continuation byte at `i`, consumed into `cp`; false when there is none.
    const auto next = [&](char32_t &cp) {
        const auto c = static_cast<unsigned char>(ansi[i]);
        if ((c & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (c & 0x3F);
        return true;
    };
    while (i < ansi.size()) {
        const auto lead = static_cast<unsigned char>(ansi[i++]);
        if (lead < 0x80) {
            out.push_back(lead);
            continue;
        }
        // C0, C1 and F5 to FF start nothing.
        const size_t extra = lead >= 0xC2 && lead <= 0xDF   ? 1
                             : lead >= 0xE0 && lead <= 0xEF ? 2
                             : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                            : 0;
        if (i + extra > ansi.size()) {
            out.push_back(0xFFFD); // cut off by the end: the rest is one malformed part
            break;
        }
        char32_t cp = lead & (0x3F >> extra);
        bool valid = false;
        if (extra == 1) {
            valid = next(cp) && ++i;
        } else if (extra == 2) {
            // An overlong form or a surrogate shows at the first continuation byte, which then
            // belongs to the malformed part.
            valid = next(cp) && ++i && cp >= 0x20 && (cp < 0x360 || cp > 0x37F) && next(cp) && ++i;
        } else if (extra == 3) {
            // Above U+10FFFF shows at the second continuation byte, which does not belong to it.
            valid = next(cp) && ++i && cp >= 0x10 && next(cp) && cp < 0x4400 && ++i && next(cp) && ++i;
        }
        if (valid)
            AppendUtf16(out, cp);
        else
            out.push_back(0xFFFD);
    }
    return out;
}

std::size_t Utf16Length(std::string_view utf8)
{
    std::size_t units = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) != 0x80)
            units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(utf16[i + 1]) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

char16_t FoldUnit(char16_t unit)
{
    if (unit < 0x80)
        return (unit >= 'A' && unit <= 'Z') ? static_cast<char16_t>(unit + 32) : unit;
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return unit;
    const locale_t locale = UnicodeLocale();
    if (!locale)
        return unit;
    const wint_t lower = towlower_l(static_cast<wint_t>(unit), locale);
    return lower <= 0xFFFF ? static_cast<char16_t>(lower) : unit;
}

int CompareNames(std::string_view a, std::string_view b)
{
    // Most registry names are plain ASCII: compared here byte by byte, folded inline, until the
    // first byte above ASCII, from which on both go through UTF-16.
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if ((ca | cb) >= 0x80)
            break;
        if (ca != cb) {
            const int d = AsciiLower(ca) - AsciiLower(cb);
            if (d)
                return d;
        }
    }
    if (i == common)
        return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    size_t j = i;
    char16_t pendingA = 0, pendingB = 0;
    while ((i < a.size() || pendingA) && (j < b.size() || pendingB)) {
        const char16_t ua = FoldUnit(NextUnit(a, i, pendingA));
        const char16_t ub = FoldUnit(NextUnit(b, j, pendingB));
        if (ua != ub)
            return ua < ub ? -1 : 1;
    }
    const bool aLeft = i < a.size() || pendingA;
    const bool bLeft = j < b.size() || pendingB;
    return aLeft == bLeft ? 0 : (aLeft ? 1 : -1);
}

std::u16string Utf16LeUnits(const std::uint8_t *bytes, std::size_t count)
{
    std::u16string units(count / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return units;
}

std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view units)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(units.size() * 2 + 2);
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

} // namespace win::detail
