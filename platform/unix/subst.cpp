#include "subst.h"
#include "change_hook.h"
#include "machine.h"
#include "machine_files.h"
#include "unicode.h"
#include "win32.h"

#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace win::detail
{

namespace
{

namespace fs = std::filesystem;

// A drive subst made is a dosdevices link whose own modification time is this fixed second
// (1995-08-24 00:00:00 UTC): no program stamps a link so by chance, a link changed since is a
// new link with the time of its making, and copies of the machine that keep times keep the
// mark. Whole seconds, so that a file system that keeps no fractions keeps it too.
constexpr time_t kSubstMark = 809222400;

// Letters that are never substituted or removed: the system drive and the drive of the host's
// root, which every Wine prefix needs.
constexpr std::string_view kProtectedLetters = "cz";

// "E:" or "e:"; 0 for anything else.
char LetterOf(const std::string &argument)
{
    if (argument.size() != 2 || argument[1] != ':' || !std::isalpha(static_cast<unsigned char>(argument[0])))
        return 0;
    return static_cast<char>(std::tolower(static_cast<unsigned char>(argument[0])));
}

// Where a drive's link is made before it gets its name: Wine takes no dot name for a drive.
std::string UnfinishedLinkOf(char letter)
{
    return MachineFolder() + "/dosdevices/." + letter + ":.korvex-subst";
}

bool Exists(const std::string &path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

bool IsSubstLink(const std::string &path)
{
    struct stat st {
    };
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_mtim.tv_sec == kSubstMark &&
           st.st_mtim.tv_nsec == 0;
}

// The link's target: relative to dosdevices inside the machine folder, as Wine makes its own
// links (so the machine may move), absolute elsewhere.
std::string LinkTargetFor(const std::string &hostFolder)
{
    const fs::path folder = fs::path(hostFolder).lexically_normal();
    const fs::path machine = fs::path(MachineFolder()).lexically_normal();
    const fs::path inside = folder.lexically_relative(machine);
    if (!inside.empty() && *inside.begin() != "..")
        return (fs::path("..") / inside).string();
    return folder.string();
}

// Gives the finished link its drive name, never over a drive that a program which does not take
// the machine's lock (winecfg) made meanwhile. 0 or the errno.
int NameLink(const std::string &unfinished, const std::string &link)
{
    if (renameat2(AT_FDCWD, unfinished.c_str(), AT_FDCWD, link.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    // A file system without that rename (some network ones): the name was free a moment ago.
    return rename(unfinished.c_str(), link.c_str()) == 0 ? 0 : errno;
}

// The link is made under a dot name, marked, and only then named as the drive. Journalling file
// systems (ext4, XFS, Btrfs) bring metadata changes back after a crash in the order they were
// made, so a drive link that survives a crash carries its mark and subst can still remove it;
// a dot link left behind is no drive and is replaced at the next attempt. Nothing needs
// flushing, which keeps a start-up list of many drives quick.
int MakeMarkedLink(const std::string &target, char letter)
{
    const std::string unfinished = UnfinishedLinkOf(letter);
    unlink(unfinished.c_str());
    if (symlink(target.c_str(), unfinished.c_str()) != 0)
        return errno;
    const timespec times[2] = {{0, UTIME_OMIT}, {kSubstMark, 0}};
    int error = utimensat(AT_FDCWD, unfinished.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    if (!error)
        error = NameLink(unfinished, DriveLinkOf(letter));
    if (error)
        unlink(unfinished.c_str());
    return error;
}

unsigned long Mount(char letter, const std::string &windowsFolder)
{
    if (kProtectedLetters.find(letter) != std::string_view::npos || Exists(DriveLinkOf(letter)) ||
        Exists(DriveLinkOf(letter) + ":"))
        return ERROR_ALREADY_EXISTS;
    const std::string host = HostPathOf(windowsFolder);
    std::error_code ec;
    if (host.empty() || !fs::is_directory(host, ec))
        return ERROR_PATH_NOT_FOUND;
    const int error = MakeMarkedLink(LinkTargetFor(host), letter);
    if (error == EEXIST)
        return ERROR_ALREADY_EXISTS;
    return error ? static_cast<unsigned long>(ErrorFromErrno(error)) : ERROR_SUCCESS;
}

unsigned long Unmount(char letter)
{
    const std::string link = DriveLinkOf(letter);
    if (kProtectedLetters.find(letter) != std::string_view::npos || !IsSubstLink(link))
        return ERROR_INVALID_PARAMETER;
    return unlink(link.c_str()) == 0 ? ERROR_SUCCESS : static_cast<unsigned long>(ErrorFromErrno(errno));
}

bool IsDeleteSwitch(const std::string &argument)
{
    return SameName(argument, "/d");
}

} // namespace

bool IsSubstProgram(const std::string &program)
{
    const std::string_view name = std::string_view(program).substr(program.find_last_of("\\/") + 1);
    return SameName(name, "subst") || SameName(name, "subst.exe");
}

unsigned long RunSubst(const std::vector<std::string> &arguments)
{
    if (arguments.size() != 2)
        return ERROR_INVALID_PARAMETER;
    const bool remove = IsDeleteSwitch(arguments[0]) || IsDeleteSwitch(arguments[1]);
    const char letter = LetterOf(remove && IsDeleteSwitch(arguments[0]) ? arguments[1] : arguments[0]);
    const auto run = [&]() -> unsigned long {
        const FolderLock lock(MachineFolder());
        if (!lock.Held())
            return ERROR_ACCESS_DENIED;
        if (!letter)
            return ERROR_INVALID_PARAMETER;
        return remove ? Unmount(letter) : Mount(letter, arguments[1]);
    };
    if (!letter)
        return run();
    const char drive[] = {static_cast<char>(std::toupper(static_cast<unsigned char>(letter))), ':', '\0'};
    return Reported(Change{.kind = Change::Kind::Drive, .path = drive}, run,
                    [](unsigned long rc) { return rc == ERROR_SUCCESS; });
}

} // namespace win::detail
