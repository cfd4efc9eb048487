#include "mtools_files.h"

#include "durable_file.h"
#include "image_process.h"
#include "unicode.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <unistd.h>
#include <utility>

namespace win::image
{

namespace
{

namespace fs = std::filesystem;

// Every global setting mtools knows, so that /etc/mtools.conf cannot change what Korvex does:
// no sanity checks that refuse images other systems made, no VFAT entries left out, no
// lower-cased display of short names, numeric tails as Windows makes them.
constexpr const char *kGlobalSettings[] = {
    "MTOOLS_SKIP_CHECK=1", "MTOOLS_FAT_COMPATIBILITY=1", "MTOOLS_LOWER_CASE=0",    "MTOOLS_NO_VFAT=0",
    "MTOOLS_DOTTED_DIR=0", "MTOOLS_NAME_NUMERIC_TAIL=1", "MTOOLS_LOCK_TIMEOUT=10", "MTOOLS_TWENTY_FOUR_HOUR_CLOCK=1",
};

// Characters no FAT name may hold; "/" and "\\" separate the parts of a path.
constexpr std::string_view kForbidden = "*?\"<>|:";

enum class Use {
    Match,  // an existing entry: every part is a pattern to mtools, so "[" is escaped
    Create, // a new entry: the last part is taken as it is
};

bool NameAllowed(const std::string &part)
{
    return std::none_of(part.begin(), part.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || kForbidden.find(c) != std::string_view::npos;
    });
}

std::vector<std::string> Parts(std::string path)
{
    if (path.size() >= 2 && path[1] == ':')
        path.erase(0, 2);
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path + "/") {
        if (c != '/' && c != '\\') {
            part.push_back(c);
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    return parts;
}

// "::/WINDOWS/SYSTEM.DAT", or nothing for a name FAT cannot hold.
std::optional<std::string> MtoolsPath(const std::string &path, Use use)
{
    const std::vector<std::string> parts = Parts(path);
    std::string result = "::";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!NameAllowed(parts[i]) || parts[i] == "." || parts[i] == "..")
            return std::nullopt;
        result += '/';
        const bool literal = use == Use::Create && i + 1 == parts.size();
        for (const char c : parts[i]) {
            if (c == '[' && !literal)
                result += '\\';
            result += c;
        }
    }
    return parts.empty() ? "::/" : result;
}

std::string ParentOf(const std::string &path)
{
    std::vector<std::string> parts = Parts(path);
    if (!parts.empty())
        parts.pop_back();
    std::string parent;
    for (const std::string &p : parts)
        parent += (parent.empty() ? "" : "\\") + p;
    return parent;
}

// `path` with its last part as the file system stores it.
std::string StoredSpelling(const std::string &path, const FatEntry &entry)
{
    const std::string parent = ParentOf(path);
    return parent.empty() ? entry.name : parent + "\\" + entry.name;
}

bool Contains(const std::string &text, const char *what)
{
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return lower.find(what) != std::string::npos;
}

LONG CodeFor(const std::string &message)
{
    if (Contains(message, "disk full") || Contains(message, "no free"))
        return ERROR_DISK_FULL;
    if (Contains(message, "no match for target") || Contains(message, "bad target"))
        return ERROR_PATH_NOT_FOUND;
    if (Contains(message, "not found") || Contains(message, "no match"))
        return ERROR_FILE_NOT_FOUND;
    if (Contains(message, "already exists") || Contains(message, "name clash"))
        return ERROR_ALREADY_EXISTS;
    if (Contains(message, "permission denied") || Contains(message, "read-only"))
        return ERROR_ACCESS_DENIED;
    return ERROR_WRITE_FAULT;
}

DWORD AttributesFrom(const std::string &letters)
{
    DWORD attributes = 0;
    for (const char c : letters) {
        switch (c) {
        case 'R': attributes |= FILE_ATTRIBUTE_READONLY; break;
        case 'H': attributes |= FILE_ATTRIBUTE_HIDDEN; break;
        case 'S': attributes |= FILE_ATTRIBUTE_SYSTEM; break;
        case 'D': attributes |= FILE_ATTRIBUTE_DIRECTORY; break;
        case 'A': attributes |= FILE_ATTRIBUTE_ARCHIVE; break;
        default: break;
        }
    }
    return attributes;
}

constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

constexpr std::pair<DWORD, const char *> kSettableAttributes[] = {
    {FILE_ATTRIBUTE_READONLY, "r"},
    {FILE_ATTRIBUTE_HIDDEN, "h"},
    {FILE_ATTRIBUTE_SYSTEM, "s"},
    {FILE_ATTRIBUTE_ARCHIVE, "a"},
};

std::string SettingsText(unsigned codePage)
{
    std::string text = "# Written by Korvex for the mtools it runs; every global setting is given here.\n";
    for (const char *setting : kGlobalSettings)
        text += std::string(setting) + "\n";
    return text + "default_codepage=" + std::to_string(codePage) + "\n";
}

// The entry of `path` read from the image file directly, without mtools.
std::optional<FatEntry> EntryOnDisk(const std::string &image, std::uint64_t offset, const std::string &path,
                                    std::string *bytes = nullptr)
{
    std::error_code ec;
    const auto size = fs::file_size(image, ec);
    if (ec)
        return std::nullopt;
    FileSource disk(image, size);
    std::string boot;
    if (!disk.Read(offset, 512, boot))
        return std::nullopt;
    const std::optional<FatGeometry> geometry = ParseBootSector(boot);
    if (!geometry)
        return std::nullopt;
    FatReader reader(disk, offset, *geometry);
    std::optional<FatEntry> entry = reader.Find(path);
    if (entry && bytes && !reader.ReadFile(*entry, *bytes))
        return std::nullopt;
    return entry;
}

} // namespace

FatFiles::FatFiles(std::string image, std::uint64_t offset, MtoolsSettings settings, FatFilesHooks hooks)
    : image_(std::move(image)), offset_(offset), settings_(std::move(settings)), hooks_(std::move(hooks))
{
    const std::string file = settings_.folder + "/mtoolsrc-" + std::to_string(settings_.codePage);
    std::string existing;
    std::error_code ec;
    fs::create_directories(settings_.folder, ec);
    if (!detail::ReadWholeFile(file, existing) || existing != SettingsText(settings_.codePage))
        detail::ReplaceFileDurably(file, SettingsText(settings_.codePage));
}

std::string FatFiles::WithExtension(const std::string &path, const char *extension)
{
    const std::size_t slash = path.find_last_of("\\/");
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? path.substr(0, dot) : path) + "." + extension;
}

std::vector<std::string> FatFiles::Environment() const
{
    std::vector<std::string> environment = InheritedVariables({"PATH", "TZ"});
    if (std::getenv("PATH") == nullptr)
        environment.emplace_back("PATH=/usr/bin:/bin");
    environment.push_back("HOME=" + settings_.folder);
    environment.push_back("MTOOLSRC=" + settings_.folder + "/mtoolsrc-" + std::to_string(settings_.codePage));
    // mtools converts long names to and from the locale's character set.
    environment.emplace_back("LC_ALL=C.UTF-8");
    for (const char *setting : kGlobalSettings)
        environment.emplace_back(setting);
    return environment;
}

LONG FatFiles::Fail(LONG code, std::string message)
{
    message_ = std::move(message);
    return code;
}

LONG FatFiles::Mtools(const std::vector<std::string> &arguments, std::string *out)
{
    if (image_.find("@@") != std::string::npos)
        return Fail(ERROR_BAD_PATHNAME, "mtools cannot open an image whose path contains \"@@\": " + image_);
    std::vector<std::string> command{arguments.front(), "-i", image_ + "@@" + std::to_string(offset_)};
    command.insert(command.end(), arguments.begin() + 1, arguments.end());
    ProcessResult result = RunProcess(command, Environment());
    if (!result.started)
        return Fail(ERROR_NOT_SUPPORTED, arguments.front() + " could not be started: install mtools");
    if (out)
        *out = std::move(result.out);
    if (result.exitCode != 0) {
        std::string said = result.err.empty() ? arguments.front() + " failed" : result.err;
        while (!said.empty() && (said.back() == '\n' || said.back() == ' '))
            said.pop_back();
        return Fail(CodeFor(said), said);
    }
    message_.clear();
    return ERROR_SUCCESS;
}

LONG FatFiles::Allowed()
{
    std::string why;
    LONG rc = ERROR_SUCCESS;
    if (hooks_.allowChange)
        rc = hooks_.allowChange(why);
    return rc == ERROR_SUCCESS ? rc : Fail(rc, why);
}

LONG FatFiles::Durable()
{
    std::string why;
    LONG rc = ERROR_SUCCESS;
    if (hooks_.makeDurable)
        rc = hooks_.makeDurable(why);
    return rc == ERROR_SUCCESS ? rc : Fail(rc, "the change could not be written to the image: " + why);
}

void FatFiles::Changed(const std::string &path)
{
    if (hooks_.changed)
        hooks_.changed(path);
}

LONG FatFiles::ReadFile(const std::string &path, std::string &bytes)
{
    const std::optional<std::string> source = MtoolsPath(path, Use::Match);
    if (!source)
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + path);
    return Mtools({"mcopy", *source, "-"}, &bytes);
}

LONG FatFiles::CopyIn(const std::string &bytes, const std::string &path)
{
    // mcopy reading a pipe ignores a full disk and leaves a cut file: it copies from a file.
    std::string source = settings_.folder + "/.korvex-copy-XXXXXX";
    const int fd = mkstemp(source.data());
    std::size_t written = 0;
    while (fd >= 0 && written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    if (fd >= 0)
        close(fd);
    const LONG rc = written == bytes.size() && fd >= 0
                        ? Mtools({"mcopy", "-D", "o", source, *MtoolsPath(path, Use::Create)})
                        : Fail(ERROR_WRITE_FAULT, "no temporary file can be written in " + settings_.folder);
    unlink(source.c_str());
    Changed(path);
    return rc;
}

LONG FatFiles::ReadBackEquals(const std::string &path, const std::string &bytes)
{
    std::string stored;
    if (!EntryOnDisk(image_, offset_, path, &stored))
        return Fail(ERROR_INVALID_DATA, path + " cannot be read back from the image");
    if (stored != bytes)
        return Fail(ERROR_INVALID_DATA, path + " read back differs from what was written");
    return ERROR_SUCCESS;
}

LONG FatFiles::KeepOriginal(const std::string &path, bool &made)
{
    made = false;
    const std::string kept = KeptNameOf(path);
    if (kept_.count(kept) != 0)
        return ERROR_SUCCESS;
    if (!Exists(kept)) {
        std::string original;
        LONG rc = ReadFile(path, original);
        if (rc == ERROR_SUCCESS)
            rc = CopyIn(original, kept);
        made = rc == ERROR_SUCCESS;
        if (rc == ERROR_SUCCESS)
            rc = ReadBackEquals(kept, original);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    kept_.insert(kept);
    return ERROR_SUCCESS;
}

LONG FatFiles::ReplaceFile(const std::string &path, const std::string &bytes, bool keepOriginal)
{
    Replacement written;
    const LONG rc = WriteReplacement(path, bytes, keepOriginal, written);
    return rc == ERROR_SUCCESS ? PutReplacementInPlace(written) : rc;
}

LONG FatFiles::WriteReplacement(const std::string &given, const std::string &bytes, bool keepOriginal,
                                Replacement &written)
{
    if (!MtoolsPath(given, Use::Create) || Parts(given).empty())
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + given);
    LONG rc = Allowed();
    if (rc != ERROR_SUCCESS)
        return rc;
    const std::optional<FatEntry> old = EntryOnDisk(image_, offset_, given);
    if (old && old->IsFolder())
        return Fail(ERROR_ACCESS_DENIED, given + " is a folder");
    // The file keeps the name it has, whatever case the caller spelt it in. A new file is
    // written where it belongs: there is nothing to lose.
    written.path = old ? StoredSpelling(given, *old) : given;
    written.fresh = old ? NewNameOf(written.path) : written.path;
    written.madeKept = false;
    if (old && keepOriginal)
        rc = KeepOriginal(written.path, written.madeKept);
    if (rc == ERROR_SUCCESS)
        rc = CopyIn(bytes, written.fresh);
    if (rc == ERROR_SUCCESS)
        rc = ReadBackEquals(written.fresh, bytes);
    const DWORD attributes = old ? old->attributes & kKeptAttributes : FILE_ATTRIBUTE_ARCHIVE;
    if (rc == ERROR_SUCCESS && attributes != FILE_ATTRIBUTE_ARCHIVE)
        rc = Attrib(written.fresh, attributes);
    // The checked file must be on disk before the old one goes.
    if (rc == ERROR_SUCCESS)
        rc = Durable();
    if (rc != ERROR_SUCCESS) {
        // A failed replace leaves the file system as it found it.
        const std::string why = message_;
        DropReplacement(written);
        return Fail(rc, why);
    }
    return ERROR_SUCCESS;
}

LONG FatFiles::PutReplacementInPlace(const Replacement &written)
{
    if (written.fresh == written.path)
        return ERROR_SUCCESS;
    // One mren drops the old entry and renames the checked file in its place.
    const LONG rc =
        Mtools({"mren", "-D", "o", *MtoolsPath(written.fresh, Use::Match), *MtoolsPath(written.path, Use::Create)});
    Changed(written.path);
    return rc == ERROR_SUCCESS ? Durable() : rc;
}

void FatFiles::DropReplacement(const Replacement &written)
{
    Mtools({"mdel", *MtoolsPath(written.fresh, Use::Match)});
    if (written.madeKept) {
        Mtools({"mdel", *MtoolsPath(KeptNameOf(written.path), Use::Match)});
        kept_.erase(KeptNameOf(written.path));
    }
    Durable();
}

LONG FatFiles::GetAttributes(const std::string &path, DWORD &attributes)
{
    const std::optional<std::string> source = MtoolsPath(path, Use::Match);
    if (!source)
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + path);
    if (Parts(path).empty()) {
        attributes = FILE_ATTRIBUTE_DIRECTORY;
        return ERROR_SUCCESS;
    }
    std::string out;
    const LONG rc = Mtools({"mattrib", "-X", *source}, &out);
    if (rc == ERROR_FILE_NOT_FOUND && !ParentOf(path).empty() && !Exists(ParentOf(path)))
        return Fail(ERROR_PATH_NOT_FOUND, "no folder " + ParentOf(path));
    if (rc != ERROR_SUCCESS)
        return rc;
    // "ASHR", or "ASHR ::/path" when the name holds a pattern character.
    attributes = AttributesFrom(out.substr(0, out.find_first_of(" \n")));
    return ERROR_SUCCESS;
}

LONG FatFiles::Attrib(const std::string &path, DWORD attributes)
{
    std::vector<std::string> command{"mattrib"};
    for (const auto &[bit, letter] : kSettableAttributes)
        command.push_back(((attributes & bit) ? "+" : "-") + std::string(letter));
    command.push_back(*MtoolsPath(path, Use::Match));
    const LONG rc = Mtools(command);
    Changed(path);
    return rc;
}

LONG FatFiles::SetAttributes(const std::string &path, DWORD attributes)
{
    if (!MtoolsPath(path, Use::Match) || Parts(path).empty())
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + path);
    LONG rc = Allowed();
    if (rc == ERROR_SUCCESS)
        rc = Attrib(path, attributes);
    return rc == ERROR_SUCCESS ? Durable() : rc;
}

bool FatFiles::Exists(const std::string &path)
{
    DWORD attributes = 0;
    return GetAttributes(path, attributes) == ERROR_SUCCESS;
}

LONG FatFiles::ListFolder(const std::string &path, std::vector<FolderItem> &items)
{
    const std::optional<std::string> folder = MtoolsPath(path, Use::Match);
    if (!folder)
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + path);
    std::string out;
    const LONG rc = Mtools({"mdir", "-a", "-b", folder->back() == '/' ? *folder : *folder + "/"}, &out);
    if (rc != ERROR_SUCCESS)
        return rc == ERROR_FILE_NOT_FOUND ? Fail(ERROR_PATH_NOT_FOUND, message_) : rc;
    items.clear();
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = std::min(out.find('\n', start), out.size());
        std::string line = out.substr(start, end - start);
        start = end + 1;
        const bool isFolder = !line.empty() && line.back() == '/';
        if (isFolder)
            line.pop_back();
        const std::size_t slash = line.rfind('/');
        if (slash != std::string::npos && slash + 1 < line.size())
            items.push_back({line.substr(slash + 1), isFolder});
    }
    return ERROR_SUCCESS;
}

LONG FatFiles::MakeFolder(const std::string &path)
{
    const std::optional<std::string> target = MtoolsPath(path, Use::Create);
    if (!target || Parts(path).empty())
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + path);
    LONG rc = Allowed();
    if (rc == ERROR_SUCCESS && Exists(path))
        return Fail(ERROR_ALREADY_EXISTS, path + " already exists");
    if (rc == ERROR_SUCCESS)
        rc = Mtools({"mmd", *target});
    Changed(path);
    return rc == ERROR_SUCCESS ? Durable() : rc;
}

LONG FatFiles::Delete(const std::string &path)
{
    const std::optional<std::string> source = MtoolsPath(path, Use::Match);
    if (!source || Parts(path).empty())
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + path);
    LONG rc = Allowed();
    DWORD attributes = 0;
    if (rc == ERROR_SUCCESS)
        rc = GetAttributes(path, attributes);
    if (rc == ERROR_SUCCESS)
        rc = Mtools({(attributes & FILE_ATTRIBUTE_DIRECTORY) ? "mrd" : "mdel", *source});
    Changed(path);
    return rc == ERROR_SUCCESS ? Durable() : rc;
}

LONG FatFiles::Rename(const std::string &from, const std::string &to)
{
    const std::optional<std::string> source = MtoolsPath(from, Use::Match);
    const std::optional<std::string> target = MtoolsPath(to, Use::Create);
    if (!source || !target || Parts(from).empty() || Parts(to).empty())
        return Fail(ERROR_BAD_PATHNAME, "not a FAT name: " + from + " or " + to);
    LONG rc = Allowed();
    if (rc == ERROR_SUCCESS && !detail::SameName(from, to) && Exists(to))
        return Fail(ERROR_ALREADY_EXISTS, to + " already exists");
    if (rc == ERROR_SUCCESS)
        rc = Mtools({"mren", *source, *target});
    Changed(from);
    Changed(to);
    return rc == ERROR_SUCCESS ? Durable() : rc;
}

LONG FatFiles::FinishInterruptedReplace(const std::string &path, const std::function<bool(const std::string &)> &check,
                                        bool &finished)
{
    finished = false;
    const std::string fresh = NewNameOf(path);
    std::string bytes;
    if (EntryOnDisk(image_, offset_, path) || !EntryOnDisk(image_, offset_, fresh, &bytes))
        return ERROR_SUCCESS;
    if (!check || !check(bytes))
        return Fail(ERROR_INVALID_DATA, fresh + " is left from a replace, but does not pass the check");
    const LONG rc = Rename(fresh, path);
    finished = rc == ERROR_SUCCESS;
    return rc;
}

} // namespace win::image
