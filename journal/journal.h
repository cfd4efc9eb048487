// The change journal: every change Korvex makes to a machine, with the state before it, so that
// it can be shown, undone and carried to another machine.
//
// Once installed (Install), it hears every change the write functions of win32.h and files.h
// make through the platform's change hook: registry values set and deleted, keys created and
// deleted (with their whole content), profile strings, files written, copied or deleted, file
// attributes and the drives of "subst". A change is recorded only once it has succeeded; a
// failed change is never in the journal.
//
// The journal belongs to its machine and is kept outside it, in the user's state folder
// ($XDG_STATE_HOME, else ~/.local/state; %LOCALAPPDATA% on Windows) under
// korvex/history/<key of the machine>. Each record is appended and flushed to disk before the
// write function returns, with its length and a checksum, so that a crash loses at most the
// record in flight: a torn last record is dropped when the journal is next read. A journal that
// is damaged elsewhere is set aside (copied beside itself) and continues with every record that
// still checks; one written by a newer Korvex is set aside and a new one started. A record that
// cannot be written (a full disk) is cut off again, so that later changes follow the good ones.
// ProblemReport tells each of these once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace journal
{

// Makes the write functions record their changes here from now on. Korvex installs it at
// start-up; a program that does not (Tolvane) changes machines unrecorded.
void Install();

enum class Kind : std::uint8_t {
    Value = 1,      // `target` key, `name` value: type and data before and after
    KeyCreated = 2, // `target` key made (the first of its path that was missing)
    KeyDeleted = 3, // `target` key deleted with everything in `deleted`
    Profile = 4,    // `target` file, `name` "section" NUL "key": the string before and after
    File = 5,       // `target` file written or copied over: its whole content before and after
    Attributes = 6, // `target` file: attribute bits in `type` before and after
    Drive = 7,      // `target` drive ("X:"): the folder it shows, before and after
};

// One side of a change. `data` is the value's data as RegQueryValueExA gives it, a profile
// string, a file's content or a drive's folder.
struct State {
    bool exists = false;
    std::uint32_t type = 0;
    std::string data;

    bool operator==(const State &) const = default;
};

// A key's content, as it was when deleted.
struct KeyContent {
    std::string name;
    std::vector<std::pair<std::string, State>> values;
    std::vector<KeyContent> subkeys;
};

struct Record {
    std::uint64_t id = 0;  // unique in its journal, growing with time
    std::int64_t time = 0; // seconds since 1970, UTC
    std::string page;      // the page that acted, as SetPage named it
    Kind kind = Kind::Value;
    std::string target; // "HKEY_CURRENT_USER\\Software\\...", a Windows path, or "X:"
    std::string name;
    State before;
    State after;
    KeyContent deleted;       // KeyDeleted only
    std::uint64_t undoes = 0; // the id of the change this one undid, 0 for none
    // The changes one save, undo or run made together share a group (0: a change of its own).
    std::uint64_t group = 0;
};

// Names the page whose changes follow ("" for none). The journal keeps the name until changed.
void SetPage(std::string_view page);

// Every change recorded for the machine in use, oldest first.
std::vector<Record> Records();

// The journal file of the machine in use (host path).
std::string JournalPath();

// A description of what was wrong with the journal ("" when nothing was), returned once: the
// next call gives "". "damaged: <file set aside>", "written by a newer version: <file set
// aside>", or "not recorded: <journal>" after the first change of this run it could not record.
std::string ProblemReport();

// While one exists, nothing is recorded (a new machine being filled, say).
class Pause
{
public:
    Pause();
    ~Pause();
    Pause(const Pause &) = delete;
    Pause &operator=(const Pause &) = delete;

    // Whether one exists now: the journal then skips reading the states around a change.
    static bool Active();
};

// ---- Undo ----------------------------------------------------------------------------------

// The state of the record's target now, comparable with its `after`.
State CurrentState(const Record &record);

// True when the target is still as the change left it.
bool StillAsWritten(const Record &record);

// Restores the record's `before` through the write functions, so that the undo is itself a
// recorded change (its `undoes` names the record). Returns ERROR_SUCCESS or a Win32 code.
long Undo(const Record &record);

// What undoing `record` undoes, newest first: the changes of `records` (newest first) that its
// group made and no later change undid, with `record` itself. A record without a group stands
// alone.
std::vector<Record> GroupOf(const Record &record, const std::vector<Record> &records);

// ---- For the journal's own tests and benchmark -------------------------------------------------

// Appends a record as the write functions do (its id and time are filled in).
bool Append(Record record);

} // namespace journal
