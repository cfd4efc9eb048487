// On Windows the machine is the running system: there are no Wine prefixes to choose from.
#include "prefixes.h"

namespace win
{

bool IsWinePrefix(const std::string &)
{
    return false;
}

std::vector<WinePrefix> FindWinePrefixes()
{
    return {};
}

WinePrefix DescribeWinePrefix(const std::string &folder, PrefixSource source, const std::string &name)
{
    WinePrefix prefix;
    prefix.folder = folder;
    prefix.name = name;
    prefix.source = source;
    return prefix;
}

} // namespace win
