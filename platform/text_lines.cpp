#include "text_lines.h"

namespace win::detail
{

namespace
{

// The length of the UTF-8 sequence at the start of `text`; 0 when it is not one.
size_t Utf8SequenceLength(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    return overlong || surrogate || c > 0x10FFFF ? 0 : length;
}

} // namespace

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

bool IsUtf8BeyondAscii(std::string_view bytes)
{
    bool beyondAscii = false;
    while (!bytes.empty()) {
        const size_t length = Utf8SequenceLength(bytes);
        if (length == 0)
            return false;
        beyondAscii = beyondAscii || length > 1;
        bytes.remove_prefix(length);
    }
    return beyondAscii;
}

} // namespace win::detail
