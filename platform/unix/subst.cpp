#include "subst.h"
#include "durable_file.h"
#include "machine.h"
#include "win32.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace win::detail
{

namespace
{

namespace fs = std::filesystem;

// The drives subst made, one "x:<TAB>link target" line each, kept in the machine folder. Only a
// link that is still exactly what subst made is ever removed: a drive of winecfg, a device link
// or a link changed since belongs to someone else.
constexpr const char *kRecordName = "korvex-subst-drives";

// Letters that are never substituted or removed: the system drive and the drive of the host's
// root, which every Wine prefix needs.
constexpr std::string_view kProtectedLetters = "cz";

struct Record {
    char letter;
    std::string target;
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// "E:" or "e:"; 0 for anything else.
char LetterOf(const std::string &argument)
{
    if (argument.size() != 2 || argument[1] != ':' || !std::isalpha(static_cast<unsigned char>(argument[0])))
        return 0;
    return static_cast<char>(std::tolower(static_cast<unsigned char>(argument[0])));
}

std::string DosDevices()
{
    return MachineFolder() + "/dosdevices";
}

std::string LinkOf(char letter)
{
    return DosDevices() + "/" + letter + ":";
}

std::vector<Record> ReadRecords()
{
    std::string text;
    ReadWholeFile(MachineFolder() + "/" + kRecordName, text);
    std::vector<Record> records;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.size() > 3 && LetterOf(line.substr(0, 2)) && line[2] == '\t')
            records.push_back({LetterOf(line.substr(0, 2)), line.substr(3)});
    return records;
}

LONG WriteRecords(const std::vector<Record> &records)
{
    std::string text;
    for (const Record &record : records)
        text += std::string{record.letter, ':', '\t'} + record.target + "\n";
    return ReplaceFileDurably(MachineFolder() + "/" + kRecordName, text);
}

bool Exists(const std::string &path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
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

unsigned long Mount(char letter, const std::string &windowsFolder)
{
    if (kProtectedLetters.find(letter) != std::string_view::npos || Exists(LinkOf(letter)) ||
        Exists(LinkOf(letter) + ":"))
        return ERROR_ALREADY_EXISTS;
    const std::string host = HostPathOf(windowsFolder);
    std::error_code ec;
    if (host.empty() || !fs::is_directory(host, ec))
        return ERROR_PATH_NOT_FOUND;
    const std::string target = LinkTargetFor(host);
    std::vector<Record> records = ReadRecords();
    std::erase_if(records, [letter](const Record &r) { return r.letter == letter; });
    records.push_back({letter, target});
    // The record comes first: a link without one could never be removed again by subst.
    if (const LONG rc = WriteRecords(records); rc != ERROR_SUCCESS)
        return static_cast<unsigned long>(rc);
    fs::create_symlink(target, LinkOf(letter), ec);
    return ec ? static_cast<unsigned long>(ErrorFromErrno(ec.value())) : ERROR_SUCCESS;
}

unsigned long Unmount(char letter)
{
    std::vector<Record> records = ReadRecords();
    const auto record =
        std::find_if(records.begin(), records.end(), [letter](const Record &r) { return r.letter == letter; });
    if (kProtectedLetters.find(letter) != std::string_view::npos || record == records.end())
        return ERROR_INVALID_PARAMETER;
    std::error_code ec;
    const std::string link = LinkOf(letter);
    const bool ours = fs::is_symlink(link, ec) && fs::read_symlink(link, ec).string() == record->target;
    records.erase(record);
    if (ours && !fs::remove(link, ec))
        return static_cast<unsigned long>(ErrorFromErrno(ec.value()));
    // A record whose link is gone or was changed since is dropped: that letter is not subst's.
    if (const LONG rc = WriteRecords(records); rc != ERROR_SUCCESS)
        return static_cast<unsigned long>(rc);
    return ours ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

bool IsDeleteSwitch(const std::string &argument)
{
    return Lower(argument) == "/d";
}

} // namespace

bool IsSubstProgram(const std::string &program)
{
    const std::string name = Lower(program.substr(program.find_last_of("\\/") + 1));
    return name == "subst" || name == "subst.exe";
}

unsigned long RunSubst(const std::vector<std::string> &arguments)
{
    if (arguments.size() != 2)
        return ERROR_INVALID_PARAMETER;
    const FolderLock lock(MachineFolder());
    if (!lock.Held())
        return ERROR_ACCESS_DENIED;
    if (IsDeleteSwitch(arguments[0]) || IsDeleteSwitch(arguments[1])) {
        const char letter = LetterOf(IsDeleteSwitch(arguments[0]) ? arguments[1] : arguments[0]);
        return letter ? Unmount(letter) : ERROR_INVALID_PARAMETER;
    }
    const char letter = LetterOf(arguments[0]);
    return letter ? Mount(letter, arguments[1]) : ERROR_INVALID_PARAMETER;
}

} // namespace win::detail
