#include "change_hook.h"

namespace win
{

namespace
{

// Plain data, set before any change is made: the write functions read it without further cost.
constinit ChangeHook *installed = nullptr;
constinit thread_local int telling = 0;

} // namespace

void SetChangeHook(ChangeHook *hook)
{
    installed = hook;
}

namespace detail
{

ChangeHook *Listener()
{
    return telling ? nullptr : installed;
}

ChangeBeingTold::ChangeBeingTold()
{
    ++telling;
}

ChangeBeingTold::~ChangeBeingTold()
{
    --telling;
}

void ReportKeyOpened(HKEY parent, const char *subKey, HKEY opened)
{
    if (ChangeHook *const hook = Listener())
        hook->KeyOpened(parent, subKey, opened);
}

void ReportKeyClosed(HKEY key)
{
    if (ChangeHook *const hook = Listener())
        hook->KeyClosed(key);
}

void ReportMachineReset()
{
    if (ChangeHook *const hook = Listener())
        hook->MachineReset();
}

} // namespace detail

} // namespace win
