// korvex_guest_registry: turns a machine folder's registry (Wine's text files) into the two
// registry files of a Windows 98 guest, SYSTEM.DAT and USER.DAT, written by Korvex's own
// writer. With resources/tools/make_disk_image.py it makes the test and demo disk images:
//
//   korvex_guest_registry system.reg user.reg SYSTEM.DAT USER.DAT
//
// HKEY_LOCAL_MACHINE becomes SYSTEM.DAT; HKEY_CURRENT_USER becomes USER.DAT's ".DEFAULT", which
// is the current user while user profiles are off. Wine's own settings (Software\Wine) and
// link keys have no place in a guest and are left out. Names and strings must be ASCII, which
// every code page of the guest reads alike.
#include "creg_file.h"
#include "hive.h"
#include "unicode.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

using win::detail::Hive;
using win::detail::Key;

constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2, kRegMultiSz = 7;
constexpr char16_t kLastAscii = 0x7F;
constexpr const char *kWineSettings = "Software\\Wine";

std::string ReadFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf()))
        throw std::runtime_error(std::string("cannot read ") + path);
    return text.str();
}

void WriteFile(const char *path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error(std::string("cannot write ") + path);
}

void Require(const win::creg::Status &status, const std::string &what)
{
    if (!status)
        throw std::runtime_error(what + ": " + status.reason);
}

std::string AsciiName(const std::string &name)
{
    for (const char c : name)
        if (static_cast<unsigned char>(c) > kLastAscii)
            throw std::runtime_error("not an ASCII name: " + name);
    return name;
}

// String data as the guest stores it: one byte per character, the terminators kept.
std::vector<std::uint8_t> GuestBytes(const win::detail::ValueData &data)
{
    if (data.type != kRegSz && data.type != kRegExpandSz && data.type != kRegMultiSz)
        return data.bytes;
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : win::detail::Utf16LeUnits(data.bytes)) {
        if (unit > kLastAscii)
            throw std::runtime_error("string data that is not ASCII");
        bytes.push_back(static_cast<std::uint8_t>(unit));
    }
    return bytes;
}

void CopyKey(const Hive &from, const Key &key, const std::string &path, win::creg::Hive &to)
{
    if (key.isLink || path == kWineSettings)
        return;
    if (!path.empty()) {
        win::creg::Key *made = nullptr;
        Require(to.CreateKey(path, &made), "key " + path);
        for (const win::detail::Value &value : key.values) {
            const win::detail::ValueData data = from.Read(value);
            Require(to.SetValue(*made, AsciiName(value.name), data.type, GuestBytes(data)),
                    "value " + path + "\\" + value.name);
        }
    }
    for (const auto &child : key.children)
        CopyKey(from, *child, path.empty() ? AsciiName(child->name) : path + "\\" + AsciiName(child->name), to);
}

// The guest's registry file holding the Wine file at `textPath` below `under`.
void Convert(const char *textPath, const std::string &under, const char *datPath)
{
    Hive text;
    if (!text.Parse(ReadFile(textPath)))
        throw std::runtime_error(std::string("not a registry file: ") + textPath);
    win::creg::Hive guest = win::creg::Hive::Empty();
    if (!under.empty())
        Require(guest.CreateKey(under), "key " + under);
    for (const auto &child : text.Root().children)
        CopyKey(text, *child, under.empty() ? AsciiName(child->name) : under + "\\" + AsciiName(child->name), guest);
    std::vector<std::uint8_t> bytes;
    Require(guest.Serialize(bytes), datPath);
    WriteFile(datPath, bytes);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fputs("usage: korvex_guest_registry system.reg user.reg SYSTEM.DAT USER.DAT\n", stderr);
        return 2;
    }
    try {
        Convert(argv[1], {}, argv[3]);
        Convert(argv[2], ".DEFAULT", argv[4]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "korvex_guest_registry: %s\n", error.what());
        return 1;
    }
    return 0;
}
