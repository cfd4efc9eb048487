// Text conversions and name comparison of the Unix registry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace win::detail
{

// UTF-8 to UTF-16. Invalid sequences are dropped, code points above U+FFFF become surrogate
// pairs: the rule Wine applies when it reads a registry file.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Text of the ANSI code page (UTF-8) to UTF-16, as the A functions convert it on Windows and
// Wine: each malformed part becomes one U+FFFD instead of being dropped. A malformed part is a
// byte that starts no sequence, or a lead byte with the continuation bytes that fit it up to
// where the sequence turns out wrong (an overlong form or a surrogate at its first continuation
// byte, which is included; a code point above U+10FFFF at its second, which is not); a sequence
// cut off by the end of the text makes the rest of the text one malformed part.
std::u16string AnsiToUtf16(std::string_view ansi);

// The length of UTF-8 text in UTF-16 units, the measure of Windows' name limits.
std::size_t Utf16Length(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// UTF-16 units from their little-endian bytes (the form of the registry's string data and of
// UTF-16 files); an odd last byte is left out.
std::u16string Utf16LeUnits(const std::uint8_t *bytes, std::size_t count);
inline std::u16string Utf16LeUnits(const std::vector<std::uint8_t> &bytes)
{
    return Utf16LeUnits(bytes.data(), bytes.size());
}

// UTF-16 units as little-endian bytes.
std::vector<std::uint8_t> Utf16LeBytes(std::u16string_view units);

// The lower-case form of one UTF-16 unit (simple Unicode mapping; surrogates stay as they are).
char16_t FoldUnit(char16_t unit);

// Compares two UTF-8 names unit by unit after folding each UTF-16 unit to lower case, the way
// Wine orders and looks up registry keys and values. A name that is a prefix of another sorts
// first. Returns <0, 0 or >0.
int CompareNames(std::string_view a, std::string_view b);

inline bool SameName(std::string_view a, std::string_view b)
{
    // Names are mostly looked up as they are spelled.
    return a == b || CompareNames(a, b) == 0;
}

} // namespace win::detail
