#include "change_bracket.h"

#include "change_hook.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace win
{

namespace
{

struct Bracket {
    int depth = 0;
    LONG failure = ERROR_SUCCESS;
    std::vector<detail::BracketMember *> members; // in the order they enlisted
};

Bracket &Open()
{
    static Bracket bracket;
    return bracket;
}

// Writes every member's new files, then puts them in place; any failure before the first file
// is put in place drops everything.
LONG WriteMembers(const std::vector<detail::BracketMember *> &members)
{
    for (detail::BracketMember *member : members) {
        if (const LONG rc = member->WriteNewFiles(); rc != ERROR_SUCCESS) {
            for (detail::BracketMember *m : members)
                m->DropChanges();
            return rc;
        }
    }
    LONG result = ERROR_SUCCESS;
    for (detail::BracketMember *member : members)
        if (const LONG rc = member->PutNewFilesInPlace(); rc != ERROR_SUCCESS && result == ERROR_SUCCESS)
            result = rc;
    return result;
}

} // namespace

void BeginChanges()
{
    Bracket &bracket = Open();
    if (bracket.depth++ == 0) {
        bracket.failure = ERROR_SUCCESS;
        if (ChangeHook *hook = detail::Listener())
            hook->ChangesBegun();
    }
}

LONG EndChanges(bool keep)
{
    Bracket &bracket = Open();
    if (bracket.depth == 0)
        return ERROR_INVALID_PARAMETER;
    if (!keep && bracket.failure == ERROR_SUCCESS)
        bracket.failure = ERROR_CANCELLED;
    if (--bracket.depth > 0)
        return bracket.failure;
    const std::vector<detail::BracketMember *> members = std::exchange(bracket.members, {});
    LONG result = bracket.failure;
    if (result == ERROR_SUCCESS) {
        result = WriteMembers(members);
    } else {
        for (detail::BracketMember *member : members)
            member->DropChanges();
    }
    if (ChangeHook *hook = detail::Listener())
        hook->ChangesEnded(result == ERROR_SUCCESS);
    return result;
}

namespace detail
{

bool InBracket()
{
    return Open().depth > 0;
}

void Enlist(BracketMember &member)
{
    std::vector<BracketMember *> &members = Open().members;
    if (std::find(members.begin(), members.end(), &member) == members.end())
        members.push_back(&member);
}

void Withdraw(BracketMember &member)
{
    std::vector<BracketMember *> &members = Open().members;
    const auto found = std::find(members.begin(), members.end(), &member);
    if (found == members.end())
        return;
    members.erase(found);
    member.DropChanges();
}

void NoteBracketFailure(LONG error)
{
    Bracket &bracket = Open();
    if (bracket.depth > 0 && bracket.failure == ERROR_SUCCESS)
        bracket.failure = error;
}

LONG BracketFailure()
{
    return Open().failure;
}

} // namespace detail

} // namespace win
