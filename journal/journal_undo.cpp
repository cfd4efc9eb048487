// Undoing a recorded change: its `before` is put back through the platform's write functions, so
// that the undo is a change of its own in the journal.
#include "change_bracket.h"
#include "files.h"
#include "journal.h"
#include "journal_capture.h"
#include "journal_detail.h"
#include "machine.h"
#include "win32.h"

#include <algorithm>

namespace journal
{

namespace
{

using win::BOOL;
using win::BYTE;
using win::DWORD;
using win::HKEY;
using win::LONG;

// A key made (with the keys of its path) for writing, closed when it goes.
class WriteKey
{
public:
    explicit WriteKey(const std::string &keyPath)
    {
        std::string rest;
        const auto root = capture::RootOf(keyPath, rest);
        status_ = !root ? static_cast<LONG>(ERROR_BADKEY)
                        : win::RegCreateKeyExA(*root, rest.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                               nullptr, &key_, nullptr);
    }
    ~WriteKey()
    {
        if (status_ == ERROR_SUCCESS)
            win::RegCloseKey(key_);
    }
    WriteKey(const WriteKey &) = delete;
    WriteKey &operator=(const WriteKey &) = delete;
    HKEY Get() const { return key_; }
    LONG Status() const { return status_; }

private:
    HKEY key_ = nullptr;
    LONG status_ = ERROR_SUCCESS;
};

LONG PutValue(HKEY key, const std::string &name, const State &state)
{
    return win::RegSetValueExA(key, name.c_str(), 0, state.type, reinterpret_cast<const BYTE *>(state.data.data()),
                               static_cast<DWORD>(state.data.size()));
}

LONG RestoreValue(const Record &r)
{
    if (!r.before.exists && !capture::ReadValue(r.target, r.name).exists)
        return ERROR_SUCCESS;
    WriteKey key(r.target);
    if (key.Status() != ERROR_SUCCESS)
        return key.Status();
    return r.before.exists ? PutValue(key.Get(), r.name, r.before) : win::RegDeleteValueA(key.Get(), r.name.c_str());
}

LONG DeleteKey(const std::string &keyPath)
{
    if (!capture::KeyExists(keyPath))
        return ERROR_SUCCESS;
    std::string rest;
    const auto root = capture::RootOf(keyPath, rest);
    return root ? win::RegDeleteKeyA(*root, rest.c_str()) : static_cast<LONG>(ERROR_BADKEY);
}

LONG RestoreContent(const std::string &keyPath, const KeyContent &content)
{
    LONG rc = ERROR_SUCCESS;
    {
        WriteKey key(keyPath);
        if (key.Status() != ERROR_SUCCESS)
            return key.Status();
        for (const auto &[name, state] : content.values)
            if (rc == ERROR_SUCCESS)
                rc = PutValue(key.Get(), name, state);
    }
    for (const KeyContent &sub : content.subkeys)
        if (rc == ERROR_SUCCESS)
            rc = RestoreContent(keyPath + "\\" + sub.name, sub);
    return rc;
}

LONG RestoreProfile(const Record &r)
{
    const std::size_t split = r.name.find('\0');
    const std::string section = r.name.substr(0, split);
    const std::string key = r.name.substr(split + 1);
    const BOOL ok = win::WritePrivateProfileStringA(
        section.c_str(), key.c_str(), r.before.exists ? r.before.data.c_str() : nullptr, r.target.c_str());
    return ok ? static_cast<LONG>(ERROR_SUCCESS) : static_cast<LONG>(win::GetLastError());
}

LONG RestoreFile(const Record &r)
{
    bool ok = true;
    if (r.before.exists)
        ok = win::WriteWholeFile(r.target, r.before.data, r.before.type == 1);
    else if (capture::ReadFile(r.target).exists)
        ok = win::DeleteFileA(r.target.c_str()) != 0;
    return ok ? static_cast<LONG>(ERROR_SUCCESS) : static_cast<LONG>(win::GetLastError());
}

LONG RestoreAttributes(const Record &r)
{
    if (!r.before.exists)
        return ERROR_SUCCESS; // the file did not exist; what became of it is its own change
    if (!win::SetFileAttributesA(r.target.c_str(), r.before.type))
        return static_cast<LONG>(win::GetLastError());
    return ERROR_SUCCESS;
}

// Drives change through the subst command, as the pages change them.
LONG RestoreDrive(const Record &r)
{
    if (capture::ReadDrive(r.target).exists)
        win::WinExec(("subst /D " + r.target).c_str(), SW_HIDE);
    if (r.before.exists) {
        const std::string folder = win::WindowsPathOf(r.before.data);
        if (folder.empty())
            return ERROR_PATH_NOT_FOUND;
        win::WinExec(("subst " + r.target + " \"" + folder + "\"").c_str(), SW_HIDE);
    }
    return capture::ReadDrive(r.target) == r.before ? static_cast<LONG>(ERROR_SUCCESS)
                                                    : static_cast<LONG>(win::GetLastError());
}

} // namespace

State CurrentState(const Record &r)
{
    switch (r.kind) {
    case Kind::Value: return capture::ReadValue(r.target, r.name);
    case Kind::KeyCreated:
    case Kind::KeyDeleted: return capture::KeyExists(r.target) ? State{true, 0, {}} : State{};
    case Kind::Profile: return capture::ReadProfile(r.target, r.name);
    case Kind::File: return capture::ReadFile(r.target);
    case Kind::Attributes: return capture::ReadAttributes(r.target);
    case Kind::Drive: return capture::ReadDrive(r.target);
    }
    return {};
}

bool StillAsWritten(const Record &r)
{
    const State now = CurrentState(r);
    if (r.kind == Kind::File) // whether the host may run it is no part of what was written
        return now.exists == r.after.exists && now.data == r.after.data;
    return now == r.after;
}

namespace
{

LONG Restore(const Record &r)
{
    switch (r.kind) {
    case Kind::Value: return RestoreValue(r);
    case Kind::KeyCreated: return DeleteKey(r.target);
    case Kind::KeyDeleted: return RestoreContent(r.target, r.deleted);
    case Kind::Profile: return RestoreProfile(r);
    case Kind::File: return RestoreFile(r);
    case Kind::Attributes: return RestoreAttributes(r);
    case Kind::Drive: return RestoreDrive(r);
    }
    return ERROR_INVALID_PARAMETER;
}

} // namespace

long Undo(const Record &r)
{
    const detail::UndoScope scope(r.id);
    // A deleted key comes back with all it held in one write, or not at all.
    win::ChangeBracket bracket;
    const LONG rc = Restore(r);
    const LONG written = bracket.End(rc == ERROR_SUCCESS);
    return rc != ERROR_SUCCESS ? rc : written;
}

std::vector<Record> GroupOf(const Record &record, const std::vector<Record> &records)
{
    if (record.group == 0)
        return {record};
    std::vector<std::uint64_t> undone;
    for (const Record &r : records)
        if (r.undoes)
            undone.push_back(r.undoes);
    // The undos of a group undo is a group of its own, undone together again.
    const auto sameSide = [&](const Record &r) { return (r.undoes != 0) == (record.undoes != 0); };
    const auto stillMade = [&](const Record &r) {
        return r.id == record.id || std::find(undone.begin(), undone.end(), r.id) == undone.end();
    };
    // A key the group made may hold values written since by others: it goes only when chosen.
    const auto safeToTake = [&](const Record &r) { return r.id == record.id || r.kind != Kind::KeyCreated; };
    std::vector<Record> group;
    for (const Record &r : records)
        if (r.group == record.group && sameSide(r) && stillMade(r) && safeToTake(r))
            group.push_back(r);
    return group;
}

} // namespace journal
