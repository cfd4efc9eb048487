// Tolvane for Windows 95/98/ME as built: a small i386 program for the Windows subsystem 4.0 that
// needs no runtime, only functions that Windows 95's KERNEL32 has.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <strings.h>

namespace
{

// KERNEL32 functions Windows 95 offers that a program like Tolvane may import, between blanks.
constexpr std::string_view kWindows95Kernel32 =
    " CloseHandle CreateFileA CreateProcessA ExitProcess GetCommandLineA GetFileAttributesA GetFileSize GetFileType"
    " GetLastError GetModuleFileNameA GetModuleHandleA GetPrivateProfileStringA GetStartupInfoA ReadFile Sleep"
    " WaitForSingleObject WinExec lstrcatA lstrcpyA lstrlenA ";

TEST(Tolvane9xFileTest, IsASmallI386WindowsProgramForVersion4ImportingOnlyWindows95Kernel32)
{
    std::string image(std::filesystem::file_size(TOLVANE9X_PROGRAM), '\0');
    std::ifstream(TOLVANE9X_PROGRAM, std::ios::binary).read(image.data(), static_cast<std::streamsize>(image.size()));
    EXPECT_LE(image.size(), 16u * 1024);
    const auto at = [&](std::size_t offset, int size) { // little-endian; 0 past the end
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | (offset + i < image.size() ? static_cast<std::uint8_t>(image[offset + i]) : 0u);
        return value;
    };
    const std::size_t pe = at(0x3c, 4), optional = pe + 24, sections = optional + at(pe + 20, 2);
    ASSERT_EQ(at(pe, 4), 0x4550u) << "no PE signature";
    EXPECT_EQ(at(pe + 4, 2), 0x14cu) << "machine i386";
    ASSERT_EQ(at(optional, 2), 0x10bu) << "a 32-bit image";
    EXPECT_EQ(at(optional + 40, 4), 4u) << "operating system version 4.0";
    EXPECT_EQ(at(optional + 48, 4), 4u) << "subsystem version 4.0";
    EXPECT_EQ(at(optional + 68, 2), 2u) << "the Windows subsystem: no console";

    // The file offset of an address in the loaded image, through the section that holds it.
    const auto offsetOf = [&](std::uint32_t address) -> std::size_t {
        for (std::size_t s = sections; s < sections + std::size_t{40} * at(pe + 6, 2); s += 40)
            if (address >= at(s + 12, 4) && address - at(s + 12, 4) < at(s + 16, 4))
                return address - at(s + 12, 4) + at(s + 20, 4);
        return image.size();
    };
    const auto textAt = [&](std::uint32_t address) {
        const std::size_t offset = offsetOf(address);
        return offset < image.size() ? std::string(image.c_str() + offset) : std::string();
    };
    std::string libraries;
    for (std::size_t d = offsetOf(at(optional + 104, 4)); at(d + 12, 4) != 0; d += 20) {
        libraries += textAt(at(d + 12, 4)) + ' ';
        for (std::size_t t = offsetOf(at(d, 4) ? at(d, 4) : at(d + 16, 4)); at(t, 4) != 0; t += 4) {
            ASSERT_EQ(at(t, 4) >> 31, 0u) << "an import by ordinal";
            const std::string function = textAt(at(t, 4) + 2);
            EXPECT_NE(kWindows95Kernel32.find(' ' + function + ' '), std::string_view::npos) << function;
        }
    }
    EXPECT_EQ(strcasecmp(libraries.c_str(), "KERNEL32.DLL "), 0) << libraries;
}

} // namespace
