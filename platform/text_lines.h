// The line rule of the file helpers, shared by their Unix and Windows forms.
#pragma once

#include <string>
#include <vector>

namespace win::detail
{

// Whole lines without their CR LF or LF; a last line without an end counts, an empty text has
// no lines.
std::vector<std::string> SplitTextLines(const std::string &text);

// Every line followed by CR LF.
std::string JoinTextLines(const std::vector<std::string> &lines);

} // namespace win::detail
