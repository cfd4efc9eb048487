// A Windows program for the code page tests: prints the ANSI code page it runs with, then the
// value of each named key of a profile section as GetPrivateProfileStringW reads it, in UTF-8,
// one a line.
//
//   ansi_oracle.exe C:\korvex\Desktop.ini .ShellClassInfo IconFile IconIndex
#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

std::wstring Wide(const char *ansi)
{
    std::wstring text(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, text.data(), static_cast<int>(text.size()));
    text.pop_back();
    return text;
}

std::string Utf8(const wchar_t *wide)
{
    std::string text(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), static_cast<int>(text.size()), nullptr, nullptr);
    text.pop_back();
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    std::printf("%u\n", GetACP());
    const std::wstring file = Wide(argv[1]);
    const std::wstring section = Wide(argv[2]);
    for (int i = 3; i < argc; ++i) {
        wchar_t value[1024] = {};
        GetPrivateProfileStringW(section.c_str(), Wide(argv[i]).c_str(), L"(missing)", value, 1024, file.c_str());
        std::printf("%s\n", Utf8(value).c_str());
    }
    return 0;
}
