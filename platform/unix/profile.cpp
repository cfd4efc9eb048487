// Profile strings (INI files) of the machine, read and changed line by line so that whatever a
// change does not touch keeps its bytes.
#include "change_hook.h"
#include "code_page.h"
#include "files.h"
#include "image_files.h"
#include "machine.h"
#include "machine_files.h"
#include "unicode.h"
#include "win32.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win
{

namespace
{

// What Windows takes for blanks around names and values; Ctrl-Z ends old DOS text files.
constexpr std::string_view kBlanks = " \t\r\n\v\f\x1a";

// Ansi: the machine's code page; Utf8: UTF-8 without a mark, as Korvex wrote profiles before
// it wrote the code page (it is written back in the code page).
enum class Encoding { Ansi, Utf8, Utf8WithMark, Utf16Le, Utf16Be };

// A profile file's text as UTF-8 without its byte-order mark, and how to write it back.
struct ProfileText {
    Encoding encoding = Encoding::Ansi;
    std::string text;
};

struct Line {
    size_t begin = 0; // the line's first byte
    size_t end = 0;   // where its CR LF, LF or CR begins
    size_t next = 0;  // the next line's first byte
};

struct Entry {
    std::string_view key;
    std::string_view value;
    bool assigned = true; // false for a line without "="
};

std::string_view Trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string SwapBytePairs(std::string bytes)
{
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

// The file's bytes; nothing when a character has no place in the machine's code page.
std::optional<std::string> Encode(const ProfileText &profile)
{
    switch (profile.encoding) {
    case Encoding::Ansi:
    case Encoding::Utf8: return detail::Utf8ToMachineText(profile.text);
    case Encoding::Utf8WithMark: return "\xEF\xBB\xBF" + profile.text;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        const std::vector<std::uint8_t> units = detail::Utf16LeBytes(detail::Utf8ToUtf16(profile.text));
        const std::string le = "\xFF\xFE" + std::string(units.begin(), units.end());
        return profile.encoding == Encoding::Utf16Le ? le : SwapBytePairs(le);
    }
    }
    return profile.text;
}

ProfileText Decode(const std::string &bytes)
{
    ProfileText profile;
    if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
        profile.encoding = bytes[0] == '\xFF' ? Encoding::Utf16Le : Encoding::Utf16Be;
        const std::string le = profile.encoding == Encoding::Utf16Le ? bytes : SwapBytePairs(bytes);
        const auto *units = reinterpret_cast<const std::uint8_t *>(le.data()) + 2;
        profile.text = detail::Utf16ToUtf8(detail::Utf16LeUnits(units, le.size() - 2));
    } else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        profile.encoding = Encoding::Utf8WithMark;
        profile.text = bytes.substr(3);
    } else if (detail::IsUtf8BeyondAscii(bytes)) {
        profile.encoding = Encoding::Utf8;
        profile.text = bytes;
    } else {
        profile.text = detail::CodePageToUtf8(bytes, MachineAnsiCodePage());
    }
    return profile;
}

std::vector<Line> SplitLines(const std::string &text)
{
    std::vector<Line> lines;
    size_t start = 0;
    // Windows ends a line at CR LF, LF or a CR alone.
    while (start < text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        size_t next = std::min(end + 1, text.size());
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n')
            ++next;
        lines.push_back(Line{start, end, next});
        start = next;
    }
    return lines;
}

std::string_view Content(const std::string &text, const Line &line)
{
    return std::string_view(text).substr(line.begin, line.end - line.begin);
}

// "[name]" (blanks around it and its name allowed): the name, up to the line's last ']'.
std::optional<std::string_view> SectionName(std::string_view content)
{
    const std::string_view line = Trim(content);
    const size_t close = line.rfind(']');
    if (line.empty() || line[0] != '[' || close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

// "key=value", not a comment (";") and not a section line. A line without "=" is a key too: it
// is listed and a write replaces it, but reading its value gives the default, as in Wine.
std::optional<Entry> EntryOf(std::string_view content)
{
    const std::string_view line = Trim(content);
    if (line.empty() || line[0] == ';' || line[0] == '[')
        return std::nullopt;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return Entry{line, {}, false};
    return Entry{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

struct Section {
    size_t header = 0; // index of its "[name]" line
    size_t end = 0;    // index of the next section's line, or the line count
};

std::optional<Section> FindSection(const std::string &text, const std::vector<Line> &lines, std::string_view name)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto found = SectionName(Content(text, lines[i]));
        if (!found || !detail::SameName(*found, name))
            continue;
        size_t end = i + 1;
        while (end < lines.size() && !SectionName(Content(text, lines[end])))
            ++end;
        return Section{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const std::string &text, const std::vector<Line> &lines, const Section &section,
                              std::string_view key)
{
    for (size_t i = section.header + 1; i < section.end; ++i)
        if (const auto entry = EntryOf(Content(text, lines[i])); entry && detail::SameName(entry->key, key))
            return i;
    return std::nullopt;
}

// A value in one pair of matching quotes is read without them.
std::string_view WithoutQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

// The line end new lines get: LF or CR in a file that uses it alone, CR LF otherwise.
std::string_view LineEndOf(const std::string &text)
{
    const bool feeds = text.find('\n') != std::string::npos;
    const bool returns = text.find('\r') != std::string::npos;
    if (feeds != returns)
        return feeds ? "\n" : "\r";
    return "\r\n";
}

// Inserts a whole line before the byte `at`, ending the line before it first when the file ended
// without a line end.
void InsertLine(std::string &text, size_t at, std::string_view line)
{
    const std::string_view eol = LineEndOf(text);
    std::string inserted;
    if (at == text.size() && !text.empty() && text.back() != '\n' && text.back() != '\r')
        inserted += eol;
    inserted.append(line).append(eol);
    text.insert(at, inserted);
}

void SetKey(std::string &text, std::string_view sectionName, std::string_view key, std::string_view value)
{
    const std::vector<Line> lines = SplitLines(text);
    const std::string entry = std::string(key) + "=" + std::string(value);
    const auto section = FindSection(text, lines, sectionName);
    if (!section) {
        // A new section goes to the end, set off from what is above it by an empty line.
        if (!text.empty())
            InsertLine(text, text.size(), "");
        InsertLine(text, text.size(), "[" + std::string(sectionName) + "]");
        InsertLine(text, text.size(), entry);
        return;
    }
    if (const auto at = FindKey(text, lines, *section, key)) {
        const Line &line = lines[*at];
        const auto old = EntryOf(Content(text, line));
        if (old->value != value)
            text.replace(line.begin, line.end - line.begin, std::string(old->key) + "=" + std::string(value));
        return;
    }
    // A new key follows the section's last line that is not empty, before any empty lines that
    // set the section off from the next.
    size_t last = section->header;
    for (size_t i = section->header + 1; i < section->end; ++i)
        if (!Trim(Content(text, lines[i])).empty())
            last = i;
    InsertLine(text, lines[last].next, entry);
}

void EraseLines(std::string &text, const std::vector<Line> &lines, size_t first, size_t end)
{
    const size_t from = lines[first].begin;
    text.erase(from, lines[end - 1].next - from);
}

void DeleteKey(std::string &text, std::string_view sectionName, std::string_view key)
{
    const std::vector<Line> lines = SplitLines(text);
    if (const auto section = FindSection(text, lines, sectionName))
        if (const auto at = FindKey(text, lines, *section, key))
            EraseLines(text, lines, *at, *at + 1);
}

void DeleteSection(std::string &text, std::string_view sectionName)
{
    const std::vector<Line> lines = SplitLines(text);
    if (const auto section = FindSection(text, lines, sectionName))
        EraseLines(text, lines, section->header, section->end);
}

// A bare file name means a file in the Windows directory, as on Windows.
std::string ProfileWindowsPath(const char *fileName)
{
    const std::string name = fileName ? fileName : "";
    return name.find_first_of("\\/:") == std::string::npos ? "C:\\windows\\" + name : name;
}

std::string ProfileHostPath(const char *fileName)
{
    if (!fileName)
        return {};
    const std::string name = fileName;
    if (name.find_first_of("\\/:") == std::string::npos)
        return HostPathOf("C:\\windows\\" + name);
    return HostPathOf(name);
}

// The file's text; empty, with the last error set, when it cannot be read.
std::string ReadProfile(const char *fileName)
{
    if (detail::ImageMachine *image = detail::CurrentImageMachine()) {
        std::string bytes;
        if (!fileName || !detail::ImageReadFile(*image, ProfileWindowsPath(fileName), bytes))
            return {};
        return Decode(bytes).text;
    }
    const std::string host = ProfileHostPath(fileName);
    std::string bytes;
    if (host.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return {};
    }
    if (!detail::ReadWholeFile(host, bytes)) {
        SetLastError(detail::ErrorOfLookup(host, errno));
        return {};
    }
    return Decode(bytes).text;
}

DWORD CopyString(std::string_view text, char *buffer, DWORD size)
{
    if (size == 0)
        return 0;
    const size_t count = std::min<size_t>(text.size(), size - 1);
    // An empty text may have no storage at all, and memcpy must not be handed a null source.
    if (count > 0)
        std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<DWORD>(count);
}

// Names each followed by a NUL, then one more NUL. A list that does not fit is cut to
// size - 2 characters and ended by two NULs.
DWORD CopyList(const std::vector<std::string_view> &names, char *buffer, DWORD size)
{
    if (size == 0)
        return 0;
    std::string list;
    for (const std::string_view name : names)
        list.append(name).push_back('\0');
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = buffer[size - 1] = '\0';
    return size - 2;
}

std::vector<std::string_view> SectionNames(const std::string &text, const std::vector<Line> &lines)
{
    std::vector<std::string_view> names;
    for (const Line &line : lines)
        if (const auto name = SectionName(Content(text, line)))
            names.push_back(*name);
    return names;
}

std::vector<std::string_view> KeyNames(const std::string &text, const std::vector<Line> &lines,
                                       std::string_view sectionName)
{
    std::vector<std::string_view> names;
    if (const auto section = FindSection(text, lines, sectionName))
        for (size_t i = section->header + 1; i < section->end; ++i)
            if (const auto entry = EntryOf(Content(text, lines[i])))
                names.push_back(entry->key);
    return names;
}

// Windows drops the default's trailing blanks (but leaves a default that is one blank alone).
std::string_view DefaultOf(const char *lpDefault)
{
    std::string_view value = lpDefault ? lpDefault : "";
    while (value.size() > 1 && value.back() == ' ')
        value.remove_suffix(1);
    return value;
}

// Windows keeps a value's trailing blanks in the file (reading drops them) but not its leading.
std::string_view WithoutLeadingBlanks(std::string_view value)
{
    value.remove_prefix(std::min(value.find_first_not_of(kBlanks), value.size()));
    return value;
}

bool HasLineBreak(const char *text)
{
    return text && std::strpbrk(text, "\r\n");
}

} // namespace

DWORD GetPrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpDefault,
                               char *lpReturnedString, DWORD nSize, const char *lpFileName)
{
    if (!lpReturnedString || nSize == 0)
        return 0;
    const std::string text = ReadProfile(lpFileName);
    const std::vector<Line> lines = SplitLines(text);
    if (!lpAppName)
        return CopyList(SectionNames(text, lines), lpReturnedString, nSize);
    const std::string_view section = Trim(lpAppName);
    if (!lpKeyName) {
        const std::vector<std::string_view> keys = KeyNames(text, lines, section);
        if (!keys.empty())
            return CopyList(keys, lpReturnedString, nSize);
    } else if (const auto found = FindSection(text, lines, section)) {
        const auto at = FindKey(text, lines, *found, Trim(lpKeyName));
        if (const auto entry = at ? EntryOf(Content(text, lines[*at])) : std::nullopt; entry && entry->assigned)
            return CopyString(WithoutQuotes(entry->value), lpReturnedString, nSize);
    }
    return CopyString(DefaultOf(lpDefault), lpReturnedString, nSize);
}

namespace
{

// Edits a profile file of the machine: in a disk image through the image layer, else in place.
LONG ChangeProfileFile(const char *fileName, const std::string &host, const std::function<LONG(std::string &)> &edit)
{
    detail::ImageMachine *image = detail::CurrentImageMachine();
    if (!image)
        return detail::ChangeMachineFile(host, edit);
    const std::string path = ProfileWindowsPath(fileName);
    std::string bytes;
    if (!detail::ImageReadFile(*image, path, bytes) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return static_cast<LONG>(GetLastError());
    const std::string before = bytes;
    if (const LONG rc = edit(bytes); rc != ERROR_SUCCESS)
        return rc;
    if (bytes == before || detail::ImageWriteFile(*image, path, bytes))
        return ERROR_SUCCESS;
    return static_cast<LONG>(GetLastError());
}

// Changes the profile's text by `edit` in one durable replace of the file. The file keeps its
// encoding; a UTF-16 file or one of the code page that would not come back byte for byte is left
// alone, and text the code page cannot hold is refused before anything is written.
BOOL EditProfile(const char *fileName, const std::function<void(std::string &text)> &edit)
{
    if (!fileName)
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    const std::string host = detail::CurrentImageMachine() ? ProfileWindowsPath(fileName) : ProfileHostPath(fileName);
    if (host.empty())
        return detail::Fail(ERROR_PATH_NOT_FOUND);
    const auto change = [&](std::string &bytes) -> LONG {
        ProfileText profile = Decode(bytes);
        if (profile.encoding != Encoding::Utf8 && Encode(profile) != bytes)
            return ERROR_INVALID_DATA;
        edit(profile.text);
        const std::optional<std::string> encoded = Encode(profile);
        if (!encoded)
            return ERROR_NO_UNICODE_TRANSLATION;
        bytes = *encoded;
        return ERROR_SUCCESS;
    };
    const LONG rc = ChangeProfileFile(fileName, host, change);
    if (rc != ERROR_SUCCESS)
        return detail::Fail(static_cast<DWORD>(rc));
    return 1;
}

BOOL WriteProfileString(const char *lpAppName, const char *lpKeyName, const char *lpString, const char *lpFileName)
{
    if (!lpAppName)
        return detail::Fail(ERROR_INVALID_PARAMETER);
    // A line break would end the line early and turn the rest into lines of its own.
    if (HasLineBreak(lpAppName) || HasLineBreak(lpKeyName) || HasLineBreak(lpString))
        return detail::Fail(ERROR_INVALID_PARAMETER);
    return EditProfile(lpFileName, [&](std::string &text) {
        const std::string_view section = Trim(lpAppName);
        if (!lpKeyName)
            DeleteSection(text, section);
        else if (!lpString)
            DeleteKey(text, section, Trim(lpKeyName));
        else
            SetKey(text, section, Trim(lpKeyName), WithoutLeadingBlanks(lpString));
    });
}

BOOL WriteProfileStrings(const std::string &windowsFile, const std::string &section,
                         const std::vector<ProfileString> &strings)
{
    const auto broken = [](const ProfileString &s) {
        return HasLineBreak(s.key.c_str()) || HasLineBreak(s.value.c_str());
    };
    if (HasLineBreak(section.c_str()) || std::any_of(strings.begin(), strings.end(), broken))
        return detail::Fail(ERROR_INVALID_PARAMETER);
    return EditProfile(windowsFile.c_str(), [&](std::string &text) {
        for (const ProfileString &s : strings)
            SetKey(text, Trim(section), Trim(s.key), WithoutLeadingBlanks(s.value));
    });
}

} // namespace

bool SetProfileStrings(const std::string &windowsFile, const std::string &section,
                       const std::vector<ProfileString> &strings)
{
    // The whole file is the change: it is replaced at once.
    return detail::Reported({.kind = Change::Kind::Profile, .path = windowsFile.c_str()},
                            [&] { return WriteProfileStrings(windowsFile, section, strings); }) != 0;
}

BOOL WritePrivateProfileStringA(const char *lpAppName, const char *lpKeyName, const char *lpString,
                                const char *lpFileName)
{
    return detail::Reported(
        {.kind = Change::Kind::Profile, .path = lpFileName, .section = lpAppName, .name = lpKeyName},
        [&] { return WriteProfileString(lpAppName, lpKeyName, lpString, lpFileName); });
}

} // namespace win
