#include "machine_store.h"

#include "durable_file.h"
#include "image_machine.h"
#include "machine.h"
#include "read_scope.h"
#include "unicode.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace win::detail
{

const char *const kHiveRootPaths[kHiveCount] = {"\\Registry\\Machine", "\\Registry\\User\\S-1-5-21-0-0-0-1000",
                                                "\\Registry\\User\\.Default"};

namespace
{

namespace fs = std::filesystem;

const char *const kHiveFileNames[kHiveCount] = {"system.reg", "user.reg", "userdef.reg"};
const char *const kHeaderComments[kHiveCount] = {
    ";; All keys relative to REGISTRY\\\\Machine",
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000",
    ";; All keys relative to REGISTRY\\\\User\\\\.Default",
};

FileIdentity IdentityOf(const struct stat &st)
{
    FileIdentity id;
    id.exists = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    return id;
}

std::string &ChosenFolderOverride()
{
    static std::string folder;
    return folder;
}

std::unique_ptr<MachineStore> &CurrentStore()
{
    static std::unique_ptr<MachineStore> store;
    return store;
}

} // namespace

std::string ChooseMachineFolder()
{
    if (!ChosenFolderOverride().empty())
        return ChosenFolderOverride();
    if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char *home = std::getenv("HOME");
    const std::string homeDir = home && *home ? home : ".";
    std::error_code ec;
    if (fs::is_directory(homeDir + "/.wine", ec))
        return homeDir + "/.wine";
    const char *data = std::getenv("XDG_DATA_HOME");
    const std::string dataDir = data && *data ? data : homeDir + "/.local/share";
    return dataDir + "/korvex/machine";
}

std::string WithControlSetLink(std::string systemText)
{
    Hive hive;
    hive.Parse(std::move(systemText));
    const std::uint64_t now = FileTimeNow();
    Key &system = hive.AddChild(hive.Root(), "System", now);
    hive.AddChild(system, "ControlSet001", now);
    Key &link = hive.AddChild(system, "CurrentControlSet", now);
    link.isLink = true;
    ValueData data{REG_LINK, Utf16LeBytes(u"\\Registry\\Machine\\System\\ControlSet001")};
    hive.SetValue(link, "SymbolicLinkValue", std::move(data), now);
    return hive.Serialize();
}

bool FileIdentity::operator==(const FileIdentity &other) const
{
    if (exists != other.exists)
        return false;
    return !exists || (device == other.device && inode == other.inode && size == other.size &&
                       modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec);
}

MachineStore::MachineStore(std::string folder) : folder_(std::move(folder)), server_(folder_)
{
    std::error_code ec;
    if (std::filesystem::is_regular_file(folder_, ec)) {
        isImage_ = true;
        image_ = ImageMachine::Open(folder_, imageError_);
        return;
    }
    CreateEmptyMachine(folder_);
    for (int i = 0; i < kHiveCount; ++i) {
        files_[i].path = folder_ + "/" + kHiveFileNames[i];
        files_[i].headerComment = kHeaderComments[i];
    }
}

std::string MachineStore::EmptyHiveText(const HiveFile &file)
{
    std::string text = std::string("WINE REGISTRY Version 2\n") + file.headerComment + "\n";
    // A new file must carry the machine's architecture, or Wine ignores it.
    if (&file != &files_[kSystemHive]) {
        Refresh(files_[kSystemHive]);
        const std::string_view preamble = files_[kSystemHive].hive.Preamble();
        const size_t arch = preamble.find("#arch=");
        if (arch != std::string_view::npos)
            text += "\n" + std::string(preamble.substr(arch, preamble.find('\n', arch) - arch)) + "\n";
    }
    return text;
}

void MachineStore::Refresh(HiveFile &file)
{
    const std::uint64_t scope = OpenReadScope();
    if (scope != 0 && file.checkedInScope == scope)
        return;
    Reload(file);
    file.checkedInScope = scope;
}

void MachineStore::Reload(HiveFile &file)
{
    // A file changed in the open bracket is ahead of the disk, which nobody else may change
    // while the bracket holds the lock.
    if (file.changedInBracket)
        return;
    // The common case, a file unchanged since it was read, costs one stat() and no open().
    struct stat current {
    };
    if (file.loaded && file.identity.exists && stat(file.path.c_str(), &current) == 0 &&
        IdentityOf(current) == file.identity)
        return;
    const int fd = open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {
    };
    if (fd < 0) {
        const bool missing = errno == ENOENT;
        if (file.loaded && !file.identity.exists && missing)
            return;
        file.identity = FileIdentity{};
        file.loaded = true;
        file.damaged = !missing;
        if (missing)
            file.hive.Parse(EmptyHiveText(file));
        else
            file.hive.Parse(std::string());
        return;
    }
    if (fstat(fd, &st) == 0 && file.loaded && IdentityOf(st) == file.identity) {
        close(fd);
        return;
    }
    std::string text;
    const bool read = ReadAll(fd, text);
    close(fd);
    file.identity = IdentityOf(st);
    file.loaded = true;
    file.damaged = !read || !file.hive.Parse(std::move(text));
}

std::string MachineStore::ReadOnlyMessage() const
{
    if (image_)
        return image_->ReadOnlyMessage();
    return imageError_;
}

Hive *MachineStore::Current(int index)
{
    if (isImage_)
        return image_ ? image_->Current(index) : nullptr;
    HiveFile &file = files_[index];
    Refresh(file);
    return file.damaged ? nullptr : &file.hive;
}

MachineStore::~MachineStore()
{
    Withdraw(*this);
}

LONG MachineStore::CheckChangeable(HiveFile &file)
{
    Refresh(file);
    if (file.damaged)
        return ERROR_BADDB;
    return CheckReplaceable(file.path);
}

void MachineStore::Forget(HiveFile &file)
{
    // The change is not on disk: drop it by reading the file again next time.
    file.loaded = false;
    file.identity = FileIdentity{};
}

LONG MachineStore::JoinBracket(HiveFile &file)
{
    if (const LONG failed = BracketFailure(); failed != ERROR_SUCCESS)
        return failed;
    if (!bracketLock_) {
        if (ServerRunning())
            return ERROR_SHARING_VIOLATION;
        auto lock = std::make_unique<FolderLock>(folder_);
        if (!lock->Held())
            return ERROR_ACCESS_DENIED;
        RemoveLeftTemporaryFiles(folder_);
        bracketLock_ = std::move(lock);
        Enlist(*this);
    }
    // A file changed earlier in the bracket is ahead of its copy on disk.
    return file.changedInBracket ? LONG{ERROR_SUCCESS} : CheckChangeable(file);
}

LONG MachineStore::Change(int index, const std::function<LONG(Hive &)> &change)
{
    // A disk image writes its registry files through the image layer, and takes part in
    // brackets on its own.
    if (isImage_)
        return image_ ? image_->Change(index, change) : LONG{ERROR_BADDB};
    HiveFile &file = files_[index];
    if (InBracket()) {
        if (const LONG rc = JoinBracket(file); rc != ERROR_SUCCESS) {
            NoteBracketFailure(rc);
            return rc;
        }
        const LONG rc = change(file.hive);
        file.changedInBracket = file.changedInBracket || rc == ERROR_SUCCESS;
        return rc;
    }
    if (ServerRunning())
        return ERROR_SHARING_VIOLATION;
    const FolderLock lock(folder_);
    if (!lock.Held())
        return ERROR_ACCESS_DENIED;
    // Every temporary file is made under this lock, so one that is here now was left by a
    // process that died while writing.
    RemoveLeftTemporaryFiles(folder_);
    if (const LONG rc = CheckChangeable(file); rc != ERROR_SUCCESS)
        return rc;
    if (const LONG rc = change(file.hive); rc != ERROR_SUCCESS)
        return rc;
    const LONG rc = ReplaceFileDurably(file.path, file.hive.Serialize());
    struct stat st {
    };
    if (rc == ERROR_SUCCESS && stat(file.path.c_str(), &st) == 0)
        file.identity = IdentityOf(st);
    else
        Forget(file);
    return rc;
}

LONG MachineStore::WriteNewFiles()
{
    // Wine may have started since the first change; it would overwrite the files from memory.
    if (ServerRunning())
        return ERROR_SHARING_VIOLATION;
    for (HiveFile &file : files_)
        if (file.changedInBracket)
            if (const LONG rc = WriteReplacement(file.path, file.hive.Serialize(), file.newFile); rc != ERROR_SUCCESS)
                return rc;
    return ERROR_SUCCESS;
}

LONG MachineStore::PutNewFilesInPlace()
{
    LONG result = ERROR_SUCCESS;
    for (HiveFile &file : files_) {
        if (!file.changedInBracket)
            continue;
        file.changedInBracket = false;
        const LONG rc = PutReplacementInPlace(std::exchange(file.newFile, {}), file.path, true);
        struct stat st {
        };
        if (rc == ERROR_SUCCESS && stat(file.path.c_str(), &st) == 0)
            file.identity = IdentityOf(st);
        else
            Forget(file);
        if (rc != ERROR_SUCCESS && result == ERROR_SUCCESS)
            result = rc;
    }
    bracketLock_.reset();
    return result;
}

void MachineStore::DropChanges()
{
    for (HiveFile &file : files_) {
        if (!file.newFile.empty())
            unlink(file.newFile.c_str());
        file.newFile.clear();
        if (std::exchange(file.changedInBracket, false))
            Forget(file);
    }
    bracketLock_.reset();
}

std::vector<std::string> MachineStore::DamagedFiles()
{
    if (isImage_)
        return image_ ? image_->DamagedFiles() : std::vector<std::string>{folder_};
    std::vector<std::string> damaged;
    for (HiveFile &file : files_) {
        Refresh(file);
        if (file.damaged)
            damaged.push_back(file.path);
    }
    return damaged;
}

bool MachineStore::ServerRunning() const
{
    if (isImage_)
        return false;
    return server_.Running();
}

MachineStore &Store()
{
    auto &store = CurrentStore();
    if (!store)
        store = std::make_unique<MachineStore>(ChooseMachineFolder());
    return *store;
}

void ForgetStore()
{
    CurrentStore().reset();
}

ImageMachine *CurrentImageMachine()
{
    return Store().Image();
}

} // namespace win::detail

namespace win
{

std::string MachineFolder()
{
    return detail::Store().Folder();
}

std::string ChosenMachineFolder()
{
    return detail::ChooseMachineFolder();
}

std::vector<std::string> DamagedRegistryFiles()
{
    return detail::Store().DamagedFiles();
}

bool IsImageMachine()
{
    return detail::Store().IsImage();
}

std::string MachineReadOnlyMessage()
{
    return detail::Store().ReadOnlyMessage();
}

std::string LastMachineProblem()
{
    detail::ImageMachine *image = detail::CurrentImageMachine();
    return image ? image->LastProblem() : std::string();
}

unsigned GuestAnsiCodePage()
{
    detail::ImageMachine *image = detail::CurrentImageMachine();
    return image ? image->AnsiCodePage() : 0;
}

bool WineServerRunning()
{
    return detail::Store().ServerRunning();
}

void UseMachineFolder(const std::string &hostFolder)
{
    detail::ChosenFolderOverride() = hostFolder;
}

bool CreateEmptyMachine(const std::string &folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(folder) / "dosdevices", ec);
    fs::create_directories(fs::path(folder) / "drive_c" / "windows" / "system32", ec);
    if (ec)
        return false;
    const auto link = [&](const char *name, const char *target) {
        const fs::path at = fs::path(folder) / "dosdevices" / name;
        std::error_code e;
        if (!fs::is_symlink(at, e) && !fs::exists(at, e))
            fs::create_symlink(target, at, e);
        return !e;
    };
    const bool drivesMade = link("c:", "../drive_c");
    bool ok = link("z:", "/") && drivesMade;
    // Making a missing hive is a change like any other, made under the machine's lock: a process
    // held up here must never replace a hive that another one made and wrote to meanwhile.
    const detail::FolderLock lock(folder);
    for (int i = 0; i < detail::kHiveCount; ++i) {
        const std::string path = folder + "/" + detail::kHiveFileNames[i];
        if (access(path.c_str(), F_OK) == 0)
            continue;
        std::string text = std::string("WINE REGISTRY Version 2\n") + detail::kHeaderComments[i] + "\n";
        if (i == detail::kSystemHive)
            text = detail::WithControlSetLink(std::move(text));
        ok = detail::ReplaceFileDurably(path, text) == ERROR_SUCCESS && ok;
    }
    return ok;
}

} // namespace win
