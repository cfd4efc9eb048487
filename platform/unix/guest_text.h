// Text of a Windows 9x guest: its registry files and names hold bytes of the guest's ANSI code
// page (1252 in Western Europe and America, 1251 Cyrillic, 932 Japanese, ...), which Korvex
// converts to and from UTF-16 with the C library's iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace win::detail
{

// The guest's ANSI bytes as UTF-16. A byte the code page does not define becomes the character
// of the same number (U+0080..U+00FF), as Windows' own tables map the holes of 1252, so that
// the text converts back to the same bytes.
std::u16string GuestToUtf16(unsigned codePage, std::string_view bytes);

// UTF-16 as the guest's ANSI bytes; nothing when a character has no form in that code page
// (Windows would write a '?' in its place, which changes the text).
std::optional<std::string> Utf16ToGuest(unsigned codePage, std::u16string_view text);

} // namespace win::detail
