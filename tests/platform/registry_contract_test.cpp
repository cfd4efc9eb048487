// The contract of the registry's key functions, exercised through the `win` functions only, so
// the same suite runs against the machine folder, Wine and Windows (see Differences.h).
#include "RegistryContract.h"

#include <algorithm>
#include <functional>
#include <tuple>

namespace
{

TEST_F(RegistryContract, CreatesKeysAlongThePathAndReportsDisposition)
{
    win::DWORD disposition = 0;
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\Er\\Key", &disposition);
    EXPECT_EQ(disposition, static_cast<win::DWORD>(REG_CREATED_NEW_KEY));
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\Er\\Key", &disposition);
    EXPECT_EQ(disposition, static_cast<win::DWORD>(REG_OPENED_EXISTING_KEY));

    win::HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\Er", key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Key"});
    // A trailing backslash names the same key; a leading one is refused.
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Deep\\", key), ERROR_SUCCESS);
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "\\Software\\KorvexContract", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(TryCreate(HKEY_CURRENT_USER, "\\Software\\KorvexContract", key), ERROR_BAD_PATHNAME);
}

// Calls that must fail, each with its error code, and nothing done.
TEST_F(RegistryContract, FailuresHaveTheirErrorCodes)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Leaf");
    win::HKEY closed = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Closed");
    opened_.pop_back();
    ASSERT_EQ(win::RegCloseKey(closed), ERROR_SUCCESS);
    win::HKEY probe = nullptr;
    char name[16];
    win::DWORD length = sizeof name;
    win::DWORD reserved = 0;
    const auto enumerate = [&](win::HKEY of, win::DWORD *reservedArgument = nullptr) {
        length = sizeof name;
        return win::RegEnumKeyExA(of, 0, name, &length, reservedArgument, nullptr, nullptr, nullptr);
    };
    const std::tuple<const char *, std::function<win::LONG()>, win::LONG> calls[] = {
        {"open a missing key", [&] { return Open(key, "Missing", probe); }, ERROR_FILE_NOT_FOUND},
        {"query a missing value", [&] { return QueryValue(key, "absent").rc; }, ERROR_FILE_NOT_FOUND},
        {"delete a missing value", [&] { return win::RegDeleteValueA(key, "absent"); }, ERROR_FILE_NOT_FOUND},
        {"delete a missing key", [&] { return win::RegDeleteKeyA(key, "Missing"); }, ERROR_FILE_NOT_FOUND},
        {"enumerate no subkeys", [&] { return enumerate(key); }, ERROR_NO_MORE_ITEMS},
        {"enumerate with a reserved word", [&] { return enumerate(key, &reserved); }, ERROR_INVALID_PARAMETER},
        {"delete a null name", [&] { return win::RegDeleteKeyA(key, nullptr); }, ERROR_INVALID_PARAMETER},
        {"open below a closed handle", [&] { return Open(closed, nullptr, probe); }, ERROR_INVALID_HANDLE},
        {"create below a closed handle", [&] { return TryCreate(closed, "Child", probe); }, ERROR_INVALID_HANDLE},
        {"delete below a closed handle", [&] { return win::RegDeleteKeyA(closed, "Child"); }, ERROR_INVALID_HANDLE},
        {"enumerate a closed handle", [&] { return enumerate(closed); }, ERROR_INVALID_HANDLE},
        {"close a closed handle", [&] { return win::RegCloseKey(closed); }, ERROR_INVALID_HANDLE},
        {"close no handle", [] { return win::RegCloseKey(nullptr); }, ERROR_INVALID_HANDLE},
        {"close a root", [] { return win::RegCloseKey(HKEY_CURRENT_USER); }, ERROR_SUCCESS},
    };
    for (const auto &[what, call, expected] : calls)
        EXPECT_EQ(call(), expected) << what;
    EXPECT_EQ(SubKeys(Create(HKEY_CURRENT_USER, kTestKey)), (std::vector<std::string>{"Closed", "Leaf"}));
}

TEST_F(RegistryContract, OpeningAKeyAgainGivesAHandleOfItsOwn)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    SetDword(key, "d", 3);
    for (const char *again : {static_cast<const char *>(nullptr), ""}) {
        win::HKEY copy = nullptr;
        ASSERT_EQ(win::RegOpenKeyExA(key, again, 0, KEY_READ, &copy), ERROR_SUCCESS);
        EXPECT_NE(copy, key);
        ASSERT_EQ(win::RegCloseKey(copy), ERROR_SUCCESS);
    }
    EXPECT_EQ(QueryValue(key, "d").data[0], 3) << "closing the copy left the original open";
}

TEST_F(RegistryContract, KeyNamesAreLimitedTo256Characters)
{
    win::HKEY parent = Create(HKEY_CURRENT_USER, kTestKey);
    const std::string longest(256, 'k');
    const std::string tooLong(257, 'k');
    win::HKEY key = nullptr;
    EXPECT_EQ(TryCreate(parent, longest.c_str(), key), ERROR_SUCCESS);
    EXPECT_EQ(Open(parent, longest.c_str(), key), ERROR_SUCCESS);
    EXPECT_EQ(TryCreate(parent, tooLong.c_str(), key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Open(parent, tooLong.c_str(), key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SubKeys(parent), std::vector<std::string>{longest});
}

TEST_F(RegistryContract, OnlyBackslashSeparatesNames)
{
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\one/two");
    win::HKEY key = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"one/two"});
}

TEST_F(RegistryContract, NamesIgnoreCaseAndKeepTheirSpelling)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\MixedCase\\Ключ Ёлки Été");
    SetString(key, "ValueName", "first");
    SetString(key, "VALUENAME", "second"); // the same value: the first spelling stays

    win::HKEY same = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "SOFTWARE\\korvexcontract\\mixedcase\\КЛЮЧ ёлки éTÉ", same), ERROR_SUCCESS);
    const Query q = QueryValue(same, "valuename");
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const char *>(q.data.data()), "second");

    win::HKEY parent = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\KORVEXCONTRACT", parent), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(parent), std::vector<std::string>{"MixedCase"});
    win::DWORD disposition = 0;
    Create(HKEY_CURRENT_USER, "SOFTWARE\\KORVEXCONTRACT\\MIXEDCASE", &disposition);
    EXPECT_EQ(disposition, static_cast<win::DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(SubKeys(parent), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryContract, SubkeysEnumerateInNameOrderWithSizeChecks)
{
    for (const char *name : {"beta", "Alpha", "_under", "gamma"})
        Create(HKEY_CURRENT_USER, (std::string(kTestKey) + "\\" + name).c_str());
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);
    EXPECT_EQ(SubKeys(key),
              Expected(Difference::SubkeysSortLowerCased, std::vector<std::string>{"Alpha", "beta", "gamma", "_under"},
                       std::vector<std::string>{"_under", "Alpha", "beta", "gamma"}));
    const win::DWORD alpha = Has(Difference::SubkeysSortLowerCased) ? 1 : 0;

    // "Alpha" needs six characters with its terminator; with fewer, nothing is written.
    char name[8];
    std::memset(name, kJunk, sizeof name);
    win::DWORD length = 5;
    EXPECT_EQ(win::RegEnumKeyExA(key, alpha, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(static_cast<win::BYTE>(name[0]), kJunk);
    length = 6;
    ASSERT_EQ(win::RegEnumKeyExA(key, alpha, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(name, "Alpha");
    EXPECT_EQ(static_cast<win::BYTE>(name[6]), kJunk);
    length = 1;
    EXPECT_EQ(win::RegEnumKeyExA(key, 4, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryContract, EnumerationGivesClassAndTimeOfEachSubkey)
{
    win::HKEY child = nullptr;
    ASSERT_EQ(
        TryCreate(HKEY_CURRENT_USER, "Software\\KorvexContract\\Classy", child, REG_OPTION_NON_VOLATILE, "KorvexClass"),
        ERROR_SUCCESS);
    win::HKEY key = Create(HKEY_CURRENT_USER, kTestKey);

    char name[32];
    char className[32];
    std::memset(className, kJunk, sizeof className);
    win::DWORD length = sizeof name;
    win::DWORD classLength = sizeof className;
    win::FILETIME written{0, 0};
    ASSERT_EQ(win::RegEnumKeyExA(key, 0, name, &length, nullptr, className, &classLength, &written), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Classy");
    EXPECT_STREQ(className, "KorvexClass");
    EXPECT_EQ(classLength, 11u);
    EXPECT_NE(written.dwHighDateTime, 0u) << "the time the key was last written";

    length = sizeof name;
    classLength = 11;
    EXPECT_EQ(win::RegEnumKeyExA(key, 0, name, &length, nullptr, className, &classLength, nullptr), ERROR_MORE_DATA);
}

TEST_F(RegistryContract, VolatileKeysTakeOnlyVolatileSubkeys)
{
    win::HKEY parent = Create(HKEY_CURRENT_USER, kTestKey);
    win::HKEY key = nullptr;
    win::DWORD disposition = 0;
    ASSERT_EQ(TryCreate(parent, "Fleeting", key, REG_OPTION_VOLATILE, nullptr, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<win::DWORD>(REG_CREATED_NEW_KEY));
    SetDword(key, "d", 1);
    win::HKEY child = nullptr;
    EXPECT_EQ(TryCreate(key, "Lasting", child), ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(TryCreate(key, "AlsoFleeting", child, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"AlsoFleeting"});

    // Opening an existing key as volatile opens it as it is.
    win::HKEY again = nullptr;
    ASSERT_EQ(TryCreate(HKEY_CURRENT_USER, kTestKey, again, REG_OPTION_VOLATILE, nullptr, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<win::DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(TryCreate(again, "Lasting", child), ERROR_SUCCESS);

    // Every key a create makes along the path gets its options.
    ASSERT_EQ(TryCreate(parent, "Along\\The\\Way", child, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    EXPECT_EQ(TryCreate(parent, "Along\\Lasting", child), ERROR_CHILD_MUST_BE_VOLATILE);
}

TEST_F(RegistryContract, ClassesRootIsTheMachineClassesKey)
{
    win::HKEY viaRoot = Create(HKEY_CLASSES_ROOT, ".korvextest");
    SetString(viaRoot, "", "korvexfile");

    win::HKEY viaMachine = nullptr;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "Software\\Classes\\.korvextest", viaMachine), ERROR_SUCCESS);
    const Query q = QueryValue(viaMachine, nullptr);
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const char *>(q.data.data()), "korvexfile");
}

TEST_F(RegistryContract, UsersHoldTheDefaultUserAndTheCurrentUser)
{
    win::HKEY users = nullptr;
    ASSERT_EQ(Open(HKEY_USERS, nullptr, users), ERROR_SUCCESS);
    const std::vector<std::string> names = SubKeys(users);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(),
              Expected(Difference::DefaultUserSpelledDefault, std::string(".DEFAULT"), std::string(".Default")));

    win::HKEY defaultUser = Create(HKEY_USERS, ".DEFAULT\\Software\\KorvexContract");
    SetDword(defaultUser, "d", 7);
    win::HKEY currentUser = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, kTestKey, currentUser), ERROR_FILE_NOT_FOUND);
    win::HKEY same = nullptr;
    ASSERT_EQ(Open(HKEY_USERS, ".default\\software\\korvexcontract", same), ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(same, "d").data[0], 7);
}

TEST_F(RegistryContract, AccessRightsOfAHandleAreEnforced)
{
    Create(HKEY_CURRENT_USER, kTestKey);
    win::HKEY readOnly = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, readOnly, KEY_READ), ERROR_SUCCESS);
    const win::DWORD one = 1;
    EXPECT_EQ(win::RegSetValueExA(readOnly, "x", 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&one), 4),
              ERROR_ACCESS_DENIED);
    win::HKEY writeOnly = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, writeOnly, KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(win::RegSetValueExA(writeOnly, "x", 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&one), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryValue(writeOnly, "x").rc, ERROR_ACCESS_DENIED);
    EXPECT_EQ(win::RegDeleteValueA(readOnly, "x"), ERROR_ACCESS_DENIED);

    // Subkeys are made and opened through a handle whatever its rights: the key's own security
    // decides, and the handle of the new key has the rights asked for.
    win::HKEY child = nullptr;
    EXPECT_EQ(TryCreate(readOnly, "New", child), ERROR_SUCCESS);
    SetDword(child, "x", 1);
    win::HKEY queryOnly = nullptr;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, queryOnly, KEY_QUERY_VALUE), ERROR_SUCCESS);
    char name[16];
    win::DWORD length = sizeof name;
    EXPECT_EQ(win::RegEnumKeyExA(queryOnly, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open(queryOnly, "New", child), ERROR_SUCCESS);
}

TEST_F(RegistryContract, DeletingAKeyWithSubkeys)
{
    win::HKEY leaf = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed\\Child\\Leaf");
    SetDword(leaf, "v", 1);
    Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Kept");

    if (!Has(Difference::DeleteKeyTakesSubkeys)) {
        EXPECT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\doomed"), ERROR_ACCESS_DENIED);
        EXPECT_EQ(QueryValue(leaf, "v").rc, ERROR_SUCCESS) << "nothing was deleted";
        ASSERT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed\\Child\\Leaf"),
                  ERROR_SUCCESS);
        ASSERT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed\\Child"), ERROR_SUCCESS);
    }
    EXPECT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\doomed"), ERROR_SUCCESS);
    win::HKEY key = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Doomed", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QueryValue(leaf, "v").rc, ERROR_KEY_DELETED) << "a handle to a deleted key";
    ASSERT_EQ(Open(HKEY_CURRENT_USER, kTestKey, key), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"Kept"});
    EXPECT_NE(win::RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_SUCCESS);
}

TEST_F(RegistryContract, AKeyDeletesItselfThroughItsOwnHandle)
{
    win::HKEY key = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Self");
    EXPECT_EQ(win::RegDeleteKeyA(key, ""), ERROR_SUCCESS);
    win::HKEY probe = nullptr;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\KorvexContract\\Self", probe), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(win::RegCloseKey(key), ERROR_SUCCESS) << "the handle stays valid until it is closed";
    opened_.erase(std::find(opened_.begin(), opened_.end(), key));
}

TEST_F(RegistryContract, HandleToADeletedKeyNeverReachesItsSuccessor)
{
    win::HKEY old = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Phoenix");
    SetDword(old, "generation", 1);
    ASSERT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexContract\\Phoenix"), ERROR_SUCCESS);
    win::HKEY successor = Create(HKEY_CURRENT_USER, "Software\\KorvexContract\\Phoenix");
    SetDword(successor, "generation", 2);
    win::HKEY child = nullptr;
    char name[16];
    win::DWORD length = sizeof name;
    for (const win::LONG rc :
         {QueryValue(old, "generation").rc, Set(old, "generation", REG_DWORD, std::string{3, 0, 0, 0}),
          win::RegDeleteValueA(old, "generation"), TryCreate(old, "Child", child), Open(old, nullptr, child),
          win::RegEnumKeyExA(old, 0, name, &length, nullptr, nullptr, nullptr, nullptr)})
        EXPECT_EQ(rc, ERROR_KEY_DELETED);
    EXPECT_EQ(QueryValue(successor, "generation").data[0], 2);
    EXPECT_TRUE(SubKeys(successor).empty());
}

TEST_F(RegistryContract, PathThroughCurrentControlSetReachesControlSet001)
{
    win::HKEY viaLink = Create(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\KorvexContract");
    SetDword(viaLink, "linked", 5);
    win::HKEY target = nullptr;
    const win::LONG rc = Open(HKEY_LOCAL_MACHINE, "System\\ControlSet001\\Control\\KorvexContract", target);
    if (Has(Difference::CurrentControlSetIsNoLink)) {
        EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
    } else {
        ASSERT_EQ(rc, ERROR_SUCCESS);
        EXPECT_EQ(QueryValue(target, "linked").data[0], 5);
    }
    win::HKEY set = nullptr;
    ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "System", set), ERROR_SUCCESS);
    const std::vector<std::string> names = SubKeys(set);
    EXPECT_EQ(std::count(names.begin(), names.end(), "CurrentControlSet"), 1);
}

} // namespace
