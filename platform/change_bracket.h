// Changes collected into one: between BeginChanges and EndChanges the registry functions change
// the hives in memory only, and the end writes each changed registry file once, all of them or
// none. A save, an undo or one run of Tolvane is one such bracket, so that a crash or a failed
// write never leaves half of it on disk. Brackets nest; only the outermost one writes. A change
// made outside any bracket is written durably on its own, as always.
#pragma once

#include "win32.h"

#include <string>

namespace win
{

void BeginChanges();

// Ends the innermost bracket. With `keep` false, or once a change inside the bracket failed,
// the outermost end writes nothing and the changes made in it are forgotten. Returns
// ERROR_SUCCESS when the outermost end wrote every file (an inner end returns the failure met
// so far, if any), else the Win32 code of the failure; every file is then as it was.
LONG EndChanges(bool keep = true);

// A bracket for a C++ scope: ends (and keeps) when it goes, unless End was called.
class ChangeBracket
{
public:
    ChangeBracket() { BeginChanges(); }
    ~ChangeBracket()
    {
        if (open_)
            EndChanges();
    }
    ChangeBracket(const ChangeBracket &) = delete;
    ChangeBracket &operator=(const ChangeBracket &) = delete;

    LONG End(bool keep = true)
    {
        open_ = false;
        return EndChanges(keep);
    }

private:
    bool open_ = true;
};

namespace detail
{

// A store of files that takes part in brackets (the hives of a machine folder, or of a disk
// image). It enlists on its first change inside a bracket and holds its changes until the end.
class BracketMember
{
public:
    virtual ~BracketMember() = default;
    // Writes every file changed in the bracket in full beside the one it replaces, flushed to
    // the disk, and leaves the old files as they are.
    virtual LONG WriteNewFiles() = 0;
    // Puts the new files in the place of the old ones; called only once every member wrote its
    // new files.
    virtual LONG PutNewFilesInPlace() = 0;
    // Forgets the changes of the bracket and removes any new file written for it.
    virtual void DropChanges() = 0;
};

bool InBracket();
// Enlists `member` in the open bracket (once; later calls do nothing).
void Enlist(BracketMember &member);
// Takes a member that is going away out of the bracket, dropping its changes.
void Withdraw(BracketMember &member);
// A change inside the bracket failed: its end will write nothing.
void NoteBracketFailure(LONG error);
// The first failure noted in the open bracket, ERROR_SUCCESS while there was none.
LONG BracketFailure();

} // namespace detail

} // namespace win
