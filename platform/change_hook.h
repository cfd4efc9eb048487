// The change hook: every function of win32.h and files.h that changes the machine tells one
// listener what it is about to change and whether it did, so that a program can keep a record
// of its changes (Korvex installs its change journal here at start-up). Until a listener is
// installed nobody is told anything, and a write function only checks that none is.
#pragma once

#include "win32.h"

#include <cstdint>

namespace win
{

// What a write function is about to change, as its caller named it. The texts are the caller's
// own (null where it passed none) and live only as long as the call.
struct Change {
    enum class Kind : std::uint8_t {
        ValueSet,     // value `name` of key `key` (RegSetValueExA)
        ValueDeleted, // value `name` of key `key` (RegDeleteValueA)
        KeyCreated,   // key `path` below `key`, with every missing key on its way (RegCreateKeyExA)
        KeyDeleted,   // key `path` below `key`, with everything in it (RegDeleteKeyA)
        Profile,      // profile file `path`: key `name` of `section`; either null: the whole file
        File,         // file `path`, written, copied over or deleted
        Attributes,   // the attributes of file or folder `path`
        Drive,        // drive `path` ("X:"), made or removed by subst
    };

    Kind kind = Kind::File;
    HKEY key = nullptr;
    const char *path = nullptr;
    const char *section = nullptr;
    const char *name = nullptr;
};

// A listener to the write functions. It is called on the thread that makes the change. What it
// reads or changes itself through the `win` functions while it is called is not told to it.
class ChangeHook
{
public:
    virtual ~ChangeHook() = default;

    // The change is about to be made: what it replaces can still be read.
    virtual void Before(const Change &change) = 0;
    // The call has returned: `made` when it succeeded (for KeyCreated: and made a key).
    virtual void After(const Change &change, bool made) = 0;

    // Key handles, so that a listener can name the key a handle stands for. `opened` is the key
    // `subKey` below `parent` (RegOpenKeyExA, RegCreateKeyExA).
    virtual void KeyOpened(HKEY parent, const char *subKey, HKEY opened) = 0;
    virtual void KeyClosed(HKEY key) = 0;

    // The machine was forgotten (ResetMachine): every key handle is gone, and the next call may
    // work on another machine.
    virtual void MachineReset() = 0;

    // The outermost bracket of changes (change_bracket.h) begins, and ends with its registry
    // changes written (`written`) or all forgotten. Changes of other files land on their own.
    virtual void ChangesBegun() {}
    virtual void ChangesEnded(bool written) { (void)written; }
};

// Makes `hook` the listener, in place of any other; null removes it. The hook must stay alive
// while it is installed.
void SetChangeHook(ChangeHook *hook);

namespace detail
{

// The listener to tell now: null when none is installed, and while a change is being told (the
// listener's own reads, and a write function that another one calls).
ChangeHook *Listener();

// Marks a change being told, for its life.
class ChangeBeingTold
{
public:
    ChangeBeingTold();
    ~ChangeBeingTold();
    ChangeBeingTold(const ChangeBeingTold &) = delete;
    ChangeBeingTold &operator=(const ChangeBeingTold &) = delete;
};

// Runs `write`, the work of a write function, telling the listener about `change` around it;
// `made(result)` says whether the change happened.
template <typename Write, typename Made> auto Reported(const Change &change, Write write, Made made)
{
    ChangeHook *const hook = Listener();
    if (!hook)
        return write();
    const ChangeBeingTold telling;
    hook->Before(change);
    const auto result = write();
    hook->After(change, made(result));
    return result;
}

// For the functions that return TRUE (or true) when they succeed.
template <typename Write> auto Reported(const Change &change, Write write)
{
    return Reported(change, write, [](auto succeeded) { return succeeded != 0; });
}

// For the registry functions, which return ERROR_SUCCESS.
template <typename Write> LONG ReportedRegistryChange(const Change &change, Write write)
{
    return Reported(change, write, [](LONG rc) { return rc == ERROR_SUCCESS; });
}

// RegCreateKeyExA around `create`, which takes the place of its last argument: the key is a
// change when it is lasting (not REG_OPTION_VOLATILE) and new, and its handle is told as opened.
void ReportKeyOpened(HKEY parent, const char *subKey, HKEY opened);
void ReportKeyClosed(HKEY key);
void ReportMachineReset();

template <typename Create>
LONG ReportedKeyCreation(HKEY parent, const char *subKey, DWORD options, PHKEY result, DWORD *disposition,
                         Create create)
{
    DWORD made = 0;
    const auto createKey = [&] { return create(&made); };
    // A volatile key lives in this process's memory only: nothing on the machine changes.
    const LONG rc = (options & REG_OPTION_VOLATILE)
                        ? createKey()
                        : Reported(Change{.kind = Change::Kind::KeyCreated, .key = parent, .path = subKey}, createKey,
                                   [&](LONG status) { return status == ERROR_SUCCESS && made == REG_CREATED_NEW_KEY; });
    if (rc != ERROR_SUCCESS)
        return rc;
    if (disposition)
        *disposition = made;
    ReportKeyOpened(parent, subKey, *result);
    return rc;
}

} // namespace detail

} // namespace win
