// What one Wine prefix tells about itself without being opened as the machine: the Windows
// version it reports, whether its wineserver runs and when its registry last changed.
#pragma once

#include "prefixes.h"

#include <string>
#include <vector>

namespace win::detail
{

struct ReportedVersion {
    std::string name; // Wine's name ("win98", "win10", ...)
    bool nt = true;
};

// The version the prefix reports to Wine programs, read the way Wine looks it up: the program's
// own and the prefix's "Version" setting, then the NT keys, then the 9x "VersionNumber", then
// what a new prefix reports. Only the files' text is scanned; nothing is parsed whole.
ReportedVersion VersionReportedBy(const std::string &folder);

// The prefix's facts; `serverFolders` are the folders that running wineservers hold open
// (FoldersHeldByWineServers), looked up once for many prefixes.
WinePrefix Describe(const std::string &folder, PrefixSource source, const std::string &name,
                    const std::vector<std::string> &serverFolders);

} // namespace win::detail
