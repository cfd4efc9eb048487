// The line rule of the file helpers, shared by their Unix and Windows forms.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win::detail
{

// Whole lines without their CR LF or LF; a last line without an end counts, an empty text has
// no lines.
std::vector<std::string> SplitTextLines(const std::string &text);

// Every line followed by CR LF.
std::string JoinTextLines(const std::vector<std::string> &lines);

// Valid UTF-8 with at least one byte beyond ASCII: a file Korvex wrote before it wrote the code
// page. Text of a single-byte code page almost never reads so (it would need a letter above 0xBF
// followed by the right number of symbols from 0x80-0xBF, such as "Ã©").
bool IsUtf8BeyondAscii(std::string_view bytes);

} // namespace win::detail
