#include "command_line.h"

namespace win::detail
{

namespace
{

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

ProgramPart SplitOffProgram(std::string_view line)
{
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    if (start < line.size() && line[start] == '"') {
        const std::size_t close = line.find('"', start + 1);
        if (close == std::string_view::npos)
            return {std::string(line.substr(start + 1)), {}};
        return {std::string(line.substr(start + 1, close - start - 1)), line.substr(close + 1)};
    }
    std::size_t end = start;
    while (end < line.size() && !IsBlank(line[end]))
        ++end;
    return {std::string(line.substr(start, end - start)), line.substr(end)};
}

std::vector<std::string> SplitArguments(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (IsBlank(c) && !quoted) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++at;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            std::size_t slashes = 0;
            while (at < text.size() && text[at] == '\\') {
                ++slashes;
                ++at;
            }
            const bool beforeQuote = at < text.size() && text[at] == '"';
            word.append(beforeQuote ? slashes / 2 : slashes, '\\');
            if (beforeQuote && slashes % 2 == 1) {
                word.push_back('"');
                ++at;
            }
        } else if (c == '"') {
            if (quoted && at + 1 < text.size() && text[at + 1] == '"') {
                word.push_back('"');
                at += 2;
            } else {
                quoted = !quoted;
                ++at;
            }
        } else {
            word.push_back(c);
            ++at;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

} // namespace win::detail
