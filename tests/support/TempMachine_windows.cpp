// The Windows form of the test machine: the running system itself. Its registry is shared, so
// each test starts and ends by deleting the keys the platform suites write to; the program is
// meant to run in a throwaway Wine prefix or a test system, never on someone's own Windows.
#include "TempMachine.h"

#include "machine.h"
#include "win32.h"

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace
{

struct TestKey {
    HKEY root;
    const char *path;
};

// Every key a platform suite creates. HKEY_CLASSES_ROOT is a merged view on Windows, so both
// of its halves are named.
const TestKey kTestKeys[] = {
    {HKEY_CURRENT_USER, "Software\\KorvexContract"},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\.korvextest"},
    {HKEY_CURRENT_USER, "Software\\Classes\\.korvextest"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\KorvexContract"},
    {HKEY_USERS, ".DEFAULT\\Software\\KorvexContract"},
};

void RemoveTestKeys()
{
    for (const TestKey &key : kTestKeys) {
        const LONG rc = RegDeleteTreeA(key.root, key.path); // the key itself goes too
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            throw std::runtime_error(std::string("cannot remove the test key ") + key.path);
    }
}

} // namespace

TempMachine::TempMachine(const std::string &templateFolder)
{
    if (!templateFolder.empty())
        throw std::logic_error("a machine template exists only for the Unix form");
    RemoveTestKeys();
    folder_ = MakeTempFolder("korvex-machine");
}

std::string TempMachine::FilesFolder() const
{
    return folder_;
}

TempMachine::~TempMachine()
{
    try {
        RemoveTestKeys();
    } catch (const std::exception &) {
        // The next test's set-up reports it.
    }
    RemoveFolder(folder_);
}
