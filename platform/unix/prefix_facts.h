// What one Wine prefix tells about itself without being opened as the machine: the Windows
// version it reports (the machine's own rule, ReportedVersionOf, over the files' text read only
// where the rule looks), whether its wineserver runs and when its registry last changed.
#pragma once

#include "prefixes.h"

#include <string>
#include <vector>

namespace win::detail
{

// The prefix's facts; `serverFolders` are the folders that running wineservers hold open
// (FoldersHeldByWineServers), looked up once for many prefixes.
WinePrefix Describe(const std::string &folder, PrefixSource source, const std::string &name,
                    const std::vector<std::string> &serverFolders);

} // namespace win::detail
