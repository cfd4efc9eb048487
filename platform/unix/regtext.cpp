// The text pieces of Wine's registry format: escapes, value data and their wrapping.
#include "hive.h"
#include "unicode.h"

#include <cstdio>
#include <cstdlib>

namespace win::detail::regtext
{

namespace
{

constexpr std::uint32_t kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

bool IsWellFormedString(const ValueData &data)
{
    const auto &b = data.bytes;
    return b.size() >= 2 && b.size() % 2 == 0 && b[b.size() - 1] == 0 && b[b.size() - 2] == 0;
}

// Appends printf output; the format is always one of this file's literals.
void Append(std::string &out, unsigned value, const char *format)
{
    char buffer[24];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int n = std::snprintf(buffer, sizeof buffer, format, value);
#pragma GCC diagnostic pop
    out.append(buffer, static_cast<size_t>(n));
}

// A well-formed string's units without its terminating NUL.
std::u16string StringUnits(const ValueData &data)
{
    return Utf16LeUnits(data.bytes.data(), data.bytes.size() - 2);
}

// Units as stored string data, with the terminating NUL the loader adds back.
std::vector<std::uint8_t> StringBytes(const std::u16string &units)
{
    std::vector<std::uint8_t> bytes = Utf16LeBytes(units);
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Parses comma-separated hex bytes; a trailing backslash continues on the next line.
bool ParseHex(std::string_view text, std::vector<std::uint8_t> &out)
{
    size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
    };
    if (i < text.size() && !IsHexDigit(text[i]) && text[i] != '\\')
        return text.find_first_not_of(" \t\r") == std::string_view::npos;
    while (i < text.size()) {
        if (text[i] == '\\') {
            ++i;
            while (i < text.size() && (text[i] == '\r' || text[i] == '\n'))
                ++i;
            skipBlanks();
            continue;
        }
        if (!IsHexDigit(text[i]))
            return text.substr(i).find_first_not_of(" \t\r\n") == std::string_view::npos;
        int byte = HexValue(text[i++]);
        if (i < text.size() && IsHexDigit(text[i]))
            byte = byte * 16 + HexValue(text[i++]);
        out.push_back(static_cast<std::uint8_t>(byte));
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            ++i;
            skipBlanks();
        }
    }
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

size_t SkipBlanks(std::string_view text, size_t pos, size_t end)
{
    while (pos < end && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    return pos;
}

// A quoted name from `pos`, after its opening quote, up to the closing one, when it has no
// escape and no byte above ASCII: it is then its own text, and `pos` moves past the quote.
bool PlainName(std::string_view text, size_t &pos, std::string_view &name)
{
    for (size_t i = pos; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            name = text.substr(pos, i - pos);
            pos = i + 1;
            return true;
        }
        if (c == '\\' || c == '\n' || static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return false;
}

// The value's name from the start of its text: "" for '@', else the quoted name, which views
// the text when it needs no unescaping and `unescaped` otherwise.
bool ParseValueName(std::string_view text, size_t &pos, std::string_view &name, std::string &unescaped)
{
    if (text[pos] == '@') {
        ++pos;
        name = {};
        return true;
    }
    ++pos;
    if (PlainName(text, pos, name))
        return true;
    std::u16string units;
    if (!Unescape(text, pos, '"', units))
        return false;
    unescaped = Utf16ToUtf8(units);
    name = unescaped;
    return true;
}

} // namespace

void Escape(std::u16string_view units, const char quote[2], std::string &out)
{
    static const char kLetters[33] = ".......abtnvfr.............e....";
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        const bool more = i + 1 < units.size();
        if (c > 127) {
            const bool hexFollows = more && units[i + 1] < 128 && IsHexDigit(static_cast<char>(units[i + 1]));
            Append(out, c, hexFollows ? "\\x%04x" : "\\x%x");
        } else if (c < 32) {
            if (kLetters[c] != '.') {
                out.push_back('\\');
                out.push_back(kLetters[c]);
            } else {
                const bool octalFollows = more && units[i + 1] >= '0' && units[i + 1] <= '7';
                Append(out, c, octalFollows ? "\\%03o" : "\\%o");
            }
        } else {
            if (c == '\\' || c == static_cast<unsigned char>(quote[0]) || c == static_cast<unsigned char>(quote[1]))
                out.push_back('\\');
            out.push_back(static_cast<char>(c));
        }
    }
}

bool Unescape(std::string_view text, size_t &pos, char end, std::u16string &out)
{
    size_t i = pos;
    while (i < text.size()) {
        const char c = text[i];
        if (c == end) {
            pos = i + 1;
            return true;
        }
        if (c == '\n')
            return false;
        if (c != '\\') {
            // Plain bytes run up to the next escape or the end; they are UTF-8.
            size_t j = i;
            while (j < text.size() && text[j] != '\\' && text[j] != end && text[j] != '\n')
                ++j;
            out += Utf8ToUtf16(text.substr(i, j - i));
            i = j;
            continue;
        }
        if (++i >= text.size())
            return false;
        const char e = text[i];
        switch (e) {
        case 'a': out.push_back(7), ++i; break;
        case 'b': out.push_back(8), ++i; break;
        case 'e': out.push_back(27), ++i; break;
        case 'f': out.push_back(12), ++i; break;
        case 'n': out.push_back(10), ++i; break;
        case 'r': out.push_back(13), ++i; break;
        case 't': out.push_back(9), ++i; break;
        case 'v': out.push_back(11), ++i; break;
        case 'x': {
            ++i;
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && i < text.size() && IsHexDigit(text[i]))
                value = value * 16 + static_cast<unsigned>(HexValue(text[i++])), ++digits;
            out.push_back(digits ? static_cast<char16_t>(value) : u'x');
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned value = 0;
                int digits = 0;
                while (digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7')
                    value = value * 8 + static_cast<unsigned>(text[i++] - '0'), ++digits;
                out.push_back(static_cast<char16_t>(value));
            } else if (static_cast<unsigned char>(e) < 0x80) {
                out.push_back(static_cast<char16_t>(e));
                ++i;
            } else {
                // An escaped non-ASCII character stands for itself: take its whole UTF-8 sequence.
                size_t j = i + 1;
                while (j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80)
                    ++j;
                out += Utf8ToUtf16(text.substr(i, j - i));
                i = j;
            }
        }
    }
    return false;
}

std::string FormatValue(std::string_view name, const ValueData &data)
{
    std::string out;
    size_t count = 0;
    if (name.empty()) {
        out = "@=";
        count = 2;
    } else {
        out.push_back('"');
        Escape(Utf8ToUtf16(name), "\"\"", out);
        out += "\"=";
        count = out.size();
    }
    const std::uint32_t type = data.type;
    if ((type == kRegSz || type == kRegExpandSz || type == kRegMultiSz) && IsWellFormedString(data)) {
        if (type != kRegSz)
            Append(out, type, "str(%x):");
        out.push_back('"');
        Escape(StringUnits(data), "\"\"", out);
        out.push_back('"');
        return out;
    }
    if (type == kRegDword && data.bytes.size() == 4) {
        const unsigned value =
            data.bytes[0] | (data.bytes[1] << 8) | (data.bytes[2] << 16) | (static_cast<unsigned>(data.bytes[3]) << 24);
        Append(out, value, "dword:%08x");
        return out;
    }
    const size_t tagStart = out.size();
    if (type == kRegBinary)
        out += "hex:";
    else
        Append(out, type, "hex(%x):");
    count += out.size() - tagStart;
    for (size_t i = 0; i < data.bytes.size(); ++i) {
        Append(out, data.bytes[i], "%02x");
        count += 2;
        if (i + 1 < data.bytes.size()) {
            out.push_back(',');
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    return out;
}

ValueData ParseData(std::string_view data)
{
    ValueData value;
    const auto parseString = [&](std::uint32_t type, size_t quote) {
        std::u16string units;
        size_t pos = quote + 1;
        if (!Unescape(data, pos, '"', units))
            return false;
        value.type = type;
        value.bytes = StringBytes(units);
        return true;
    };
    bool ok = false;
    if (StartsWith(data, "\"")) {
        ok = parseString(kRegSz, 0);
    } else if (StartsWith(data, "str:\"")) {
        ok = parseString(kRegSz, 4);
    } else if (StartsWith(data, "str(2):\"")) {
        ok = parseString(kRegExpandSz, 7);
    } else if (StartsWith(data, "str(7):\"")) {
        ok = parseString(kRegMultiSz, 7);
    } else if (StartsWith(data, "dword:")) {
        // Read as base 16 without validation, as Wine does.
        const std::string digits(data.substr(6, 16));
        const unsigned long number = std::strtoul(digits.c_str(), nullptr, 16);
        value.type = kRegDword;
        for (int k = 0; k < 4; ++k)
            value.bytes.push_back(static_cast<std::uint8_t>((number >> (8 * k)) & 0xFF));
        ok = true;
    } else if (StartsWith(data, "hex:")) {
        value.type = kRegBinary;
        ok = ParseHex(data.substr(4), value.bytes);
    } else if (StartsWith(data, "hex(")) {
        const size_t close = data.find("):");
        if (close != std::string_view::npos && close > 4) {
            const std::string digits(data.substr(4, close - 4));
            char *end = nullptr;
            value.type = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), &end, 16));
            ok = end && *end == '\0' && ParseHex(data.substr(close + 2), value.bytes);
        }
    }
    if (!ok)
        value = ValueData{kRegNone, {}};
    return value;
}

ValueData ParseValueText(std::string_view text)
{
    size_t pos = SkipBlanks(text, 0, text.size());
    std::string_view name;
    std::string unescaped;
    if (pos == text.size() || !ParseValueName(text, pos, name, unescaped))
        return {};
    pos = SkipBlanks(text, pos, text.size());
    if (pos >= text.size() || text[pos] != '=')
        return {};
    pos = SkipBlanks(text, pos + 1, text.size());
    return ParseData(text.substr(pos));
}

bool ReadKeyPath(std::string_view text, const Line &line, std::string &path, size_t &after)
{
    size_t pos = line.content + 1;
    std::u16string units;
    if (!Unescape(text.substr(0, line.end), pos, ']', units))
        return false;
    path = Utf16ToUtf8(units);
    after = pos;
    return true;
}

bool ReadValueLine(std::string_view text, const Line &line, LineReader &reader, std::string &name, size_t &end)
{
    std::string_view spelled;
    std::string unescaped;
    if (!ReadValueLine(text, line, reader, spelled, unescaped, end))
        return false;
    name = spelled;
    return true;
}

bool ReadValueLine(std::string_view text, const Line &line, LineReader &reader, std::string_view &name,
                   std::string &unescaped, size_t &end)
{
    size_t pos = line.content;
    if (!ParseValueName(text.substr(0, line.end), pos, name, unescaped))
        return false;
    end = line.end;
    // Hex data may continue over lines that end in a backslash.
    const size_t data = SkipBlanks(text, pos, line.end);
    if (data + 1 < line.end && text.substr(data + 1, 3) == "hex") {
        Line more = line;
        while (more.end > more.content && text[more.end - 1] == '\\' && reader.Next(more))
            end = more.end;
    }
    return true;
}

} // namespace win::detail::regtext
