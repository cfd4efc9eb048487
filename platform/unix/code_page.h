// Text files that Windows programs read (Desktop.ini, lmhosts, Tolvane.ini) hold the machine's
// ANSI code page, while Korvex's own text is UTF-8: the conversions between the two.
#pragma once

#include "text_lines.h"
#include "win32.h"

#include <optional>
#include <string>
#include <string_view>

namespace win::detail
{

// The ANSI code page Wine gives the programs it runs in the locale named `locale` ("ru_RU.UTF-8",
// "C", ...): the one of the locale's language (and country, for Chinese); 1252 for C, POSIX,
// English and any language without one of its own.
DWORD WineAnsiCodePage(std::string_view locale);

// The locale Wine takes its code page from: LC_ALL, else LC_CTYPE, else LANG, else "C".
std::string WineLocale();

// The "ACP" value of the machine's HKLM\System\CurrentControlSet\Control\Nls\CodePage: the code
// page Windows 9x itself uses; nothing when the value is missing or not a number.
std::optional<DWORD> RegistryAnsiCodePage();

// Bytes of code page `codePage` as UTF-8. A byte the code page leaves undefined becomes the
// control character of its number (0x81 is U+0081), as Windows reads it, so that such a byte
// survives a way there and back; a broken double-byte sequence becomes U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, DWORD codePage);

// UTF-8 as bytes of code page `codePage`; nothing when a character has no place in it (it is
// never replaced by "?") or the text is not UTF-8.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8, DWORD codePage);

// A text file of the machine as UTF-8: UTF-8 when it reads as such beyond ASCII (see above),
// else the machine's code page.
std::string MachineTextToUtf8(std::string_view bytes);

// UTF-8 as the machine's code page; nothing, with ERROR_NO_UNICODE_TRANSLATION set as the last
// error, when a character has no place in it.
std::optional<std::string> Utf8ToMachineText(std::string_view utf8);

} // namespace win::detail
