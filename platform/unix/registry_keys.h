// Key handles and the paths they name, for the registry functions (registry.cpp).
//
// A handle names a key by its hive and the stored names along its path, never by a pointer
// into a hive: another process may change the file, and the hive is then read afresh.
#pragma once

#include "machine_store.h"
#include "win32.h"
#include "wow64.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win::detail
{

constexpr int kUsersRoot = -1; // HKEY_USERS itself: the hives of the users are its subkeys
constexpr const char *kUserSid = "S-1-5-21-0-0-0-1000";

struct KeyRef {
    int hive = kSystemHive;
    std::vector<std::string> path; // stored names from the hive's root
    REGSAM access = KEY_ALL_ACCESS;
    bool predefined = false;
    // The key was deleted through this process. A key made later at the same path is another
    // key, which the handle must not reach, as a Windows handle never does.
    bool deleted = false;
    // Paths below it are walked in the 32-bit view of a 64-bit machine (registry_views.h).
    bool wow32 = false;
};

// ---- Handles ---------------------------------------------------------------------------------

bool IsPredefined(HKEY key);
// The key a predefined root or an open handle names, valid until the handle is closed; null for
// anything else.
const KeyRef *RefOf(HKEY key);
// Why a handle may not be used for `access` (a handle that is not open, or was opened without
// that right), or ERROR_SUCCESS.
LONG Refusal(const KeyRef *ref, REGSAM access);
HKEY NewHandle(KeyRef ref);
// False when the handle is not open.
bool CloseHandle(HKEY key);
std::size_t HandleCount();
void ForgetHandles();
// Every open handle of the deleted key or a key below it.
void MarkDeleted(const KeyRef &gone);

// ---- Paths -----------------------------------------------------------------------------------

// A name as the A functions pass it on: through UTF-16, so that malformed UTF-8 becomes U+FFFD.
std::string AnsiName(std::string_view name);
// Splits "A\B\C" into its names; empty names (a trailing backslash) are passed over.
std::vector<std::string> SplitPath(const char *subKey);

struct Walk {
    LONG status = ERROR_SUCCESS;
    KeyRef ref;
    bool created = false;
    int stopHive = kUsersRoot; // the hive where a missing key was met
};

struct WalkOptions {
    bool create = false; // create missing keys, only inside `createIn`, which the caller holds
    int createIn = kUsersRoot;
    bool makeVolatile = false;
    const char *className = nullptr; // of the last key, when it is created
    bool openLink = false;           // a link as the last key is opened itself, not its target
    bool wow32 = false;              // walk in the 32-bit view (registry_views.h)
};

// The view a call walks in: its own KEY_WOW64_32KEY or KEY_WOW64_64KEY, else its handle's.
bool WalksIn32BitView(const KeyRef &base, REGSAM access);

// Follows `names` from `start`, through link keys.
Walk WalkPath(KeyRef start, std::vector<std::string> names, const WalkOptions &options);

// The key a handle names, in its up-to-date hive; `status` tells why there is none.
Key *Resolve(const KeyRef &ref, Hive **hiveOut, LONG &status);

// Runs `change` on the key a handle names, inside a locked, durable change of its hive.
LONG ChangeKey(const KeyRef &ref, const std::function<LONG(Hive &, Key &)> &change);

} // namespace win::detail
