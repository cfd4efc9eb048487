// Text conversions and name comparison of the Unix registry.
#pragma once

#include <string>
#include <string_view>

namespace win::detail
{

// UTF-8 to UTF-16. Invalid sequences are dropped, code points above U+FFFF become surrogate
// pairs: the rule Wine applies when it reads a registry file.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The lower-case form of one UTF-16 unit (simple Unicode mapping; surrogates stay as they are).
char16_t FoldUnit(char16_t unit);

// Compares two UTF-8 names unit by unit after folding each UTF-16 unit to lower case, the way
// Wine orders and looks up registry keys and values. A name that is a prefix of another sorts
// first. Returns <0, 0 or >0.
int CompareNames(std::string_view a, std::string_view b);

inline bool SameName(std::string_view a, std::string_view b)
{
    return CompareNames(a, b) == 0;
}

} // namespace win::detail
