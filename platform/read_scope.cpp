#include "read_scope.h"

namespace win
{

namespace
{

thread_local int depth = 0;
thread_local std::uint64_t opened = 0; // scopes opened on this thread so far
thread_local std::uint64_t current = 0;

} // namespace

ReadScope::ReadScope()
{
    if (depth++ == 0)
        current = ++opened;
}

ReadScope::~ReadScope()
{
    if (--depth == 0)
        current = 0;
}

std::uint64_t detail::OpenReadScope()
{
    return current;
}

} // namespace win
