// The registry files of one machine folder: cached, refreshed when their files change, and
// changed under the machine's lock with a durable replace of the file (durable_file.h).
#pragma once

#include "change_bracket.h"
#include "durable_file.h"
#include "hive.h"
#include "win32.h"
#include "wineserver.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace win::detail
{

class ImageMachine;

enum HiveIndex { kSystemHive = 0, kUserHive = 1, kDefaultUserHive = 2, kHiveCount = 3 };

// The NT path of each hive's root, as link targets name them.
extern const char *const kHiveRootPaths[kHiveCount];

struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileIdentity &other) const;
};

class MachineStore final : public BracketMember
{
public:
    // `folder` may also be a disk image file: the machine is then the Windows inside it.
    explicit MachineStore(std::string folder);
    ~MachineStore() override;
    MachineStore(const MachineStore &) = delete;
    MachineStore &operator=(const MachineStore &) = delete;

    const std::string &Folder() const { return folder_; }

    // The hive as its file now stands (reloaded when the file changed); null when the file
    // does not parse or cannot be read.
    Hive *Current(int index);

    // Applies `change` to the up-to-date hive and replaces its file durably, all under the
    // machine's lock. `change` returns ERROR_SUCCESS or an error; on an error it must have left
    // the hive unchanged, and nothing is written. Inside a bracket (change_bracket.h) the hive
    // changes in memory only, under the machine's lock held to the bracket's end, which writes
    // each changed file once.
    LONG Change(int index, const std::function<LONG(Hive &)> &change);

    LONG WriteNewFiles() override;
    LONG PutNewFilesInPlace() override;
    void DropChanges() override;

    std::vector<std::string> DamagedFiles();
    bool ServerRunning() const;

    // The disk image machine, or null when the machine is a folder.
    ImageMachine *Image() { return image_.get(); }
    bool IsImage() const { return isImage_; }
    // Why the machine cannot be changed; empty when it can.
    std::string ReadOnlyMessage() const;

private:
    struct HiveFile {
        std::string path;
        const char *headerComment = "";
        Hive hive;
        FileIdentity identity;
        bool loaded = false;
        bool damaged = false;
        bool changedInBracket = false;
        std::uint64_t checkedInScope = 0; // the read scope in which the file was last checked
        std::string newFile;              // written for the bracket's end, not yet in place
    };

    void Refresh(HiveFile &file);
    void Reload(HiveFile &file);
    LONG CheckChangeable(HiveFile &file);
    LONG JoinBracket(HiveFile &file);
    void Forget(HiveFile &file);
    std::string EmptyHiveText(const HiveFile &file);

    std::string folder_;
    WineServerWatch server_;
    HiveFile files_[kHiveCount];
    bool isImage_ = false;
    std::unique_ptr<ImageMachine> image_;
    std::string imageError_;                  // why the image could not be opened
    std::unique_ptr<FolderLock> bracketLock_; // held from the first change in a bracket to its end
};

// The folder UseMachineFolder named, else WINEPREFIX, else ~/.wine when it exists, else
// $XDG_DATA_HOME/korvex/machine.
std::string ChooseMachineFolder();

// The store of the machine in use, chosen on first use; ForgetStore drops it.
MachineStore &Store();
void ForgetStore();

// A new system hive's text with the link every Windows has: System\CurrentControlSet to
// System\ControlSet001.
std::string WithControlSetLink(std::string systemText);

} // namespace win::detail
