// The Tolvane programs Korvex carries as resources of type "CUSTOM", one per kind of machine it
// installs Tolvane into: the native program for Wine prefixes and machine folders (run by Wine
// at log-on, or by hand) and the 32-bit one for Windows 95/98/ME guests in disk images.
#pragma once

#include <cstdint>

namespace TolvanePrograms
{

enum class Build : std::uint8_t { Native, Windows9x };

// The Qt resource that holds the program file of `build`, byte for byte as it was built.
constexpr const char *ResourcePath(Build build)
{
    return build == Build::Windows9x ? ":/CUSTOM/TOLVANE9X" : ":/CUSTOM/TOLVANE";
}

} // namespace TolvanePrograms
