// Reads that belong together. One lookup of a setting opens and queries several keys, and on
// a machine folder each of those calls checks that the registry file was not changed by
// another program since it was read. While a scope is open, a file checked once is taken as it
// stands for the rest of the scope, so the lookup costs one check per file instead of one per
// call; a change another program makes is seen by the next scope. Scopes nest; the outermost
// one counts. A scope is for reads: writes check the file as always.
#pragma once

#include <cstdint>

namespace win
{

class ReadScope
{
public:
    ReadScope();
    ~ReadScope();
    ReadScope(const ReadScope &) = delete;
    ReadScope &operator=(const ReadScope &) = delete;
};

namespace detail
{

// The number of the outermost read scope open on this thread, different for every scope; 0
// when none is open.
std::uint64_t OpenReadScope();

} // namespace detail

} // namespace win
