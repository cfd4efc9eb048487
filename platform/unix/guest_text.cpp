#include "guest_text.h"

#include <cerrno>
#include <iconv.h>

namespace win::detail
{

namespace
{

// One conversion descriptor for the call; iconv keeps shift state, so none is shared.
class Converter
{
public:
    Converter(const std::string &to, const std::string &from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter()
    {
        if (Valid())
            iconv_close(cd_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of `in` as converts; leaves `in` at the first byte that does not.
    bool Convert(std::string_view &in, std::string &out)
    {
        char buffer[4096];
        while (!in.empty()) {
            char *source = const_cast<char *>(in.data());
            std::size_t left = in.size();
            char *target = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t rc = iconv(cd_, &source, &left, &target, &room);
            out.append(buffer, static_cast<std::size_t>(target - buffer));
            in.remove_prefix(in.size() - left);
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

std::string CodePageName(unsigned codePage)
{
    return "CP" + std::to_string(codePage);
}

std::u16string FromLittleEndian(const std::string &bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    return units;
}

bool IsAscii(std::string_view bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::u16string GuestToUtf16(unsigned codePage, std::string_view bytes)
{
    if (IsAscii(bytes)) // nearly every name and string of a registry
        return {bytes.begin(), bytes.end()};
    Converter converter("UTF-16LE", CodePageName(codePage));
    std::u16string text;
    std::string converted;
    while (!bytes.empty()) {
        if (converter.Valid() && converter.Convert(bytes, converted))
            break;
        text += FromLittleEndian(converted);
        converted.clear();
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes.front())));
        bytes.remove_prefix(1);
    }
    return text + FromLittleEndian(converted);
}

std::optional<std::string> Utf16ToGuest(unsigned codePage, std::u16string_view text)
{
    bool ascii = true;
    for (const char16_t unit : text)
        ascii = ascii && unit < 0x80;
    if (ascii)
        return std::string(text.begin(), text.end());
    std::string little;
    for (const char16_t unit : text) {
        little.push_back(static_cast<char>(unit & 0xFF));
        little.push_back(static_cast<char>(unit >> 8));
    }
    Converter converter(CodePageName(codePage), "UTF-16LE");
    std::string out;
    std::string_view in = little;
    if (converter.Valid() && converter.Convert(in, out))
        return out;
    // A character in the range the decoding above gives to undefined bytes converts back to it.
    for (std::size_t at = 0; at < text.size(); ++at) {
        const std::string_view rest(little.data() + at * 2, little.size() - at * 2);
        if (rest.size() != in.size())
            continue;
        const std::string byte(1, static_cast<char>(text[at]));
        if (text[at] < 0x80 || text[at] > 0xFF || GuestToUtf16(codePage, byte) != text.substr(at, 1))
            return std::nullopt;
        auto tail = Utf16ToGuest(codePage, text.substr(at + 1));
        if (!tail)
            return std::nullopt;
        return out + byte + *tail;
    }
    return std::nullopt;
}

} // namespace win::detail
