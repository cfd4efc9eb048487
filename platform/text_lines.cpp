#include "text_lines.h"

namespace win::detail
{

std::vector<std::string> SplitTextLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t feed = text.find('\n', start);
        const size_t next = feed == std::string::npos ? text.size() : feed + 1;
        size_t end = feed == std::string::npos ? text.size() : feed;
        if (end > start && text[end - 1] == '\r')
            --end;
        lines.push_back(text.substr(start, end - start));
        start = next;
    }
    return lines;
}

std::string JoinTextLines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text.append(line).append("\r\n");
    return text;
}

} // namespace win::detail
