// How a Windows program takes its command line apart, for starting one from Unix with an argument
// vector (no shell ever sees the line): Wine builds the program's command line again from the
// vector, and the program's C runtime splits it back into the same words.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win::detail
{

// The program of a command line, as CreateProcess and the C runtime find it: a first word in
// double quotes runs to the next quote, backslashes and all; else the first word runs to the first
// blank or tab. `rest` is what follows it.
struct ProgramPart {
    std::string program;
    std::string_view rest;
};
ProgramPart SplitOffProgram(std::string_view line);

// The arguments of a command line after its program, by the C runtime's rule: blanks and tabs
// outside double quotes end a word; 2n backslashes before a quote give n backslashes and the
// quote opens or closes a quoted part, 2n+1 give n backslashes and a literal quote; two quotes
// inside a quoted part give one literal quote; other backslashes are themselves.
std::vector<std::string> SplitArguments(std::string_view text);

} // namespace win::detail
