// Tolvane for Windows 95/98/ME as built: a file those systems load and run without any runtime.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <string_view>

namespace
{

// KERNEL32 functions Windows 95 offers that a program like Tolvane may import, between blanks.
constexpr std::string_view kWindows95Kernel32 =
    " CloseHandle CreateFileA CreateProcessA ExitProcess GetCommandLineA GetFileAttributesA GetFileSize GetFileType"
    " GetLastError GetModuleFileNameA GetModuleHandleA GetPrivateProfileStringA GetStartupInfoA ReadFile Sleep"
    " WaitForSingleObject WinExec lstrcatA lstrcpyA lstrlenA ";
constexpr std::uintmax_t kSizeLimit = 16 * 1024;

// A little-endian reader of the image file, by file offset or by the address the loader gives it.
class PeFile
{
public:
    explicit PeFile(const std::string &path) : bytes_(std::filesystem::file_size(path), '\0')
    {
        std::ifstream(path, std::ios::binary).read(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    }

    std::uint32_t At(std::size_t offset, int size) const
    {
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | (offset + i < bytes_.size() ? static_cast<std::uint8_t>(bytes_[offset + i]) : 0);
        return value;
    }
    std::size_t Pe() const { return At(0x3c, 4); }
    std::size_t Optional() const { return Pe() + 24; }

    // The file offset of a relative virtual address, through the section that holds it.
    std::size_t OffsetOf(std::uint32_t rva) const
    {
        const std::size_t sections = Optional() + At(Pe() + 20, 2);
        for (std::size_t s = 0; s < At(Pe() + 6, 2); ++s) {
            const std::size_t header = sections + 40 * s;
            const std::uint32_t start = At(header + 12, 4);
            if (rva >= start && rva < start + std::max(At(header + 8, 4), At(header + 16, 4)))
                return rva - start + At(header + 20, 4);
        }
        return bytes_.size();
    }
    std::string StringAt(std::uint32_t rva) const
    {
        const std::size_t offset = OffsetOf(rva);
        return offset < bytes_.size() ? std::string(bytes_.c_str() + offset) : std::string();
    }

private:
    std::string bytes_;
};

TEST(Tolvane9xFileTest, IsASmallI386WindowsProgramForVersion4ImportingOnlyWindows95Kernel32)
{
    EXPECT_LE(std::filesystem::file_size(TOLVANE9X_PROGRAM), kSizeLimit);
    const PeFile file(TOLVANE9X_PROGRAM);
    ASSERT_EQ(file.At(file.Pe(), 4), 0x4550u) << "no PE signature";
    EXPECT_EQ(file.At(file.Pe() + 4, 2), 0x14cu) << "machine i386";
    const std::size_t optional = file.Optional();
    ASSERT_EQ(file.At(optional, 2), 0x10bu) << "a 32-bit image";
    EXPECT_EQ(file.At(optional + 40, 2), 4u) << "operating system version 4.0";
    EXPECT_EQ(file.At(optional + 42, 2), 0u);
    EXPECT_EQ(file.At(optional + 48, 2), 4u) << "subsystem version 4.0";
    EXPECT_EQ(file.At(optional + 50, 2), 0u);
    EXPECT_EQ(file.At(optional + 68, 2), 2u) << "the Windows (GUI) subsystem: no console";

    std::set<std::string> libraries;
    int functions = 0;
    for (std::size_t d = file.OffsetOf(file.At(optional + 104, 4)); file.At(d + 12, 4) != 0; d += 20) {
        std::string name = file.StringAt(file.At(d + 12, 4));
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        libraries.insert(name);
        const std::uint32_t lookup = file.At(d, 4) ? file.At(d, 4) : file.At(d + 16, 4);
        for (std::size_t t = file.OffsetOf(lookup); file.At(t, 4) != 0; t += 4, ++functions) {
            const std::uint32_t thunk = file.At(t, 4);
            ASSERT_EQ(thunk & 0x80000000u, 0u) << "an import by ordinal";
            const std::string function = file.StringAt(thunk + 2);
            EXPECT_NE(kWindows95Kernel32.find(" " + function + " "), std::string_view::npos)
                << function << " is not one of Windows 95's";
        }
    }
    EXPECT_EQ(libraries, std::set<std::string>{"KERNEL32.DLL"});
    EXPECT_GT(functions, 0);
}

} // namespace
