// The journal as the platform's change hook: before a change it reads the state the change will
// replace, after it the state the change left, and it records the two when they differ. While a
// Pause exists it reads nothing: the states would only be thrown away.
#include "change_hook.h"
#include "journal.h"
#include "journal_capture.h"
#include "journal_detail.h"
#include "win32.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <utility>

namespace journal
{

namespace
{

using win::Change;
using win::HKEY;

std::vector<std::string> SplitKeyPath(const char *subKey)
{
    std::vector<std::string> names;
    std::string name;
    for (const char *c = subKey ? subKey : ""; *c; ++c) {
        if (*c != '\\') {
            name += *c;
        } else if (!name.empty()) {
            names.push_back(std::move(name));
            name.clear();
        }
    }
    if (!name.empty())
        names.push_back(std::move(name));
    return names;
}

std::string JoinedPath(std::string base, const char *subKey)
{
    for (const std::string &name : SplitKeyPath(subKey))
        base += "\\" + name;
    return base;
}

std::string TextOf(const char *text)
{
    return text ? text : "";
}

std::uint64_t &UndoingId()
{
    static std::uint64_t id = 0;
    return id;
}

class Recorder final : public win::ChangeHook
{
public:
    void Before(const Change &change) override
    {
        pending_ = {};
        if (!Pause::Active())
            pending_ = Replaced(change);
    }

    void After(const Change &change, bool made) override
    {
        Record record = std::exchange(pending_, {});
        if (!made || record.target.empty())
            return;
        if (change.kind == Change::Kind::KeyCreated || change.kind == Change::Kind::KeyDeleted) {
            Keep(std::move(record));
            return;
        }
        // A deleted value is gone: no need to read that it is.
        if (change.kind != Change::Kind::ValueDeleted)
            record.after = CurrentState(record);
        if (record.before != record.after)
            Keep(std::move(record));
    }

    void KeyOpened(HKEY parent, const char *subKey, HKEY opened) override
    {
        paths_[opened] = JoinedPath(PathOfHandle(parent), subKey);
    }

    void KeyClosed(HKEY key) override { paths_.erase(key); }

    // The changes of a bracket are kept back to its end: registry changes are recorded only
    // once their files were written, and all of them as one group.
    void ChangesBegun() override
    {
        group_ = NewGroup();
        heldBack_.clear();
    }

    void ChangesEnded(bool written) override
    {
        for (Record &record : std::exchange(heldBack_, {}))
            if (written || !IsRegistryChange(record.kind))
                Append(std::move(record));
        group_ = 0;
    }

    void MachineReset() override
    {
        paths_.clear();
        detail::ForgetJournalFile();
    }

private:
    // The path each open key handle names, as the caller spelled it from its root; empty for a
    // handle opened before the journal was installed.
    std::string PathOfHandle(HKEY key) const
    {
        if (std::string root = capture::RootName(key); !root.empty())
            return root;
        const auto found = paths_.find(key);
        return found == paths_.end() ? std::string() : found->second;
    }

    // The record of a change about to be made, with the state it replaces; no target when there
    // is nothing to record.
    Record Replaced(const Change &change) const
    {
        Record r;
        switch (change.kind) {
        case Change::Kind::ValueSet:
        case Change::Kind::ValueDeleted:
            r.kind = Kind::Value;
            r.target = PathOfHandle(change.key);
            r.name = TextOf(change.name);
            break;
        case Change::Kind::KeyCreated: return KeyToBeCreated(change);
        case Change::Kind::KeyDeleted: return KeyToBeDeleted(change);
        case Change::Kind::Profile:
            r.target = capture::ProfilePath(change.path);
            if (change.section && change.name) {
                r.kind = Kind::Profile;
                r.name = std::string(change.section) + '\0' + change.name;
            } else {
                r.kind = Kind::File; // a whole section goes, or the file's buffers are flushed
            }
            break;
        case Change::Kind::File: r = FileRecord(Kind::File, change); break;
        case Change::Kind::Attributes: r = FileRecord(Kind::Attributes, change); break;
        case Change::Kind::Drive: r = FileRecord(Kind::Drive, change); break;
        }
        if (!r.target.empty())
            r.before = CurrentState(r);
        return r;
    }

    static Record FileRecord(Kind kind, const Change &change)
    {
        Record r;
        r.kind = kind;
        r.target = TextOf(change.path);
        return r;
    }

    // The first key of the path that is missing is the one the call creates, with the rest below
    // it: undoing the change deletes that one. Nothing when the key is there already.
    Record KeyToBeCreated(const Change &change) const
    {
        Record r;
        const std::string base = PathOfHandle(change.key);
        if (base.empty() || capture::KeyExists(JoinedPath(base, change.path)))
            return r;
        r.kind = Kind::KeyCreated;
        r.target = base;
        for (const std::string &name : SplitKeyPath(change.path)) {
            r.target += "\\" + name;
            if (!capture::KeyExists(r.target))
                break;
        }
        r.after = State{true, 0, {}};
        return r;
    }

    // The key with everything in it, as it is before it goes.
    Record KeyToBeDeleted(const Change &change) const
    {
        Record r;
        const std::string base = PathOfHandle(change.key);
        if (base.empty())
            return r;
        r.kind = Kind::KeyDeleted;
        r.target = JoinedPath(base, change.path);
        r.deleted = capture::ReadContent(r.target);
        r.before = State{true, 0, {}};
        return r;
    }

    void Keep(Record record)
    {
        record.undoes = UndoingId();
        record.group = group_;
        if (group_)
            heldBack_.push_back(std::move(record));
        else
            Append(std::move(record));
    }

    static bool IsRegistryChange(Kind kind)
    {
        return kind == Kind::Value || kind == Kind::KeyCreated || kind == Kind::KeyDeleted;
    }

    // Unique in the journal without reading it: the moment, and a count for the same moment.
    static std::uint64_t NewGroup()
    {
        static std::uint64_t last = 0;
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        last = std::max(last + 1, static_cast<std::uint64_t>(std::chrono::nanoseconds(now).count()));
        return last;
    }

    Record pending_;
    std::uint64_t group_ = 0;
    std::vector<Record> heldBack_;
    std::unordered_map<HKEY, std::string> paths_;
};

} // namespace

void Install()
{
    static Recorder recorder;
    win::SetChangeHook(&recorder);
}

namespace detail
{

UndoScope::UndoScope(std::uint64_t id) : previous_(std::exchange(UndoingId(), id)) {}

UndoScope::~UndoScope()
{
    UndoingId() = previous_;
}

} // namespace detail

} // namespace journal
