#include "Differences.h"

#include <cstdlib>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#endif

namespace
{

struct Listed {
    Difference difference;
    std::initializer_list<Implementation> in;
};

constexpr Listed kListed[] = {
    {Difference::DeleteKeyTakesSubkeys, {Implementation::MachineFolder}},
    {Difference::SubkeysSortLowerCased, {Implementation::MachineFolder, Implementation::Wine}},
    {Difference::CurrentControlSetIsNoLink, {Implementation::Wine}},
    {Difference::ReadOnlyFoldersIgnored, {Implementation::MachineFolder, Implementation::Wine}},
};

bool WineRunsAsRoot()
{
    const char *root = std::getenv("KORVEX_WINE_AS_ROOT");
    return Running() == Implementation::Wine && root && std::string(root) == "1";
}

} // namespace

Implementation Running()
{
#ifdef _WIN32
    // Wine's ntdll exports its version; Windows' does not.
    static const Implementation running = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")
                                              ? Implementation::Wine
                                              : Implementation::Windows;
    return running;
#else
    return Implementation::MachineFolder;
#endif
}

bool Has(Difference difference)
{
    if (difference == Difference::ReadOnlyFilesWrittenByRoot)
        return WineRunsAsRoot();
    for (const Listed &listed : kListed)
        if (listed.difference == difference)
            for (Implementation implementation : listed.in)
                if (implementation == Running())
                    return true;
    return false;
}
