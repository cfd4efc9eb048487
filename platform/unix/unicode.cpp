#include "unix/unicode.h"

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
    size_t i = 0, j = 0;
    // ASCII fast path: most registry names are plain ASCII.
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if ((ca | cb) >= 0x80)
            break;
        const int d = FoldUnit(ca) - FoldUnit(cb);
        if (d)
            return d;
        ++i, ++j;
    }
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

} // namespace win::detail
