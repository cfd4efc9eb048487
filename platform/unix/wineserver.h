// Is a wineserver running for a machine folder? It keeps the registry in memory and writes it
// back later, which would undo any change made to the files meanwhile.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace win::detail
{

class WineServerWatch
{
public:
    explicit WineServerWatch(std::string folder) : folder_(std::move(folder)) {}

    // True while a wineserver runs for the folder: its server directory's lock is held, or (on
    // Linux, whatever TMPDIR it was started with) a wineserver process holds the folder open.
    bool Running() const;

private:
    std::string folder_;
    mutable bool processScanValid_ = false;
    mutable bool processScanResult_ = false;
    mutable std::chrono::steady_clock::time_point processScanTime_;
};

// True when the wineserver of `folder` holds its server directory's lock (the usual TMPDIR).
bool ServerLockHeld(const std::string &folder);

// The folders (resolved host paths) that running wineserver processes hold open, found in one
// pass over the processes (Linux); empty where /proc does not tell.
std::vector<std::string> FoldersHeldByWineServers();

} // namespace win::detail
