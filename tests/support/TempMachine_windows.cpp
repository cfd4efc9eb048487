// The Windows form of the test machine: the running system itself. Its registry is shared, so
// each test starts and ends by deleting the keys the platform suites write to; the program is
// meant to run in a throwaway Wine prefix or a test system, never on someone's own Windows.
#include "TempMachine.h"

#include "machine.h"
#include "win32.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
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

std::string MakeTempFolder(const char *stem)
{
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = base / (std::string(stem) + "-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(folder, ec))
            return folder.string();
    }
    throw std::runtime_error("cannot make a temporary folder");
}

void RemoveFolder(const std::string &folder)
{
    std::error_code ec;
    // Tests mark files read-only, which Windows refuses to delete.
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(folder, ec);
}

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
