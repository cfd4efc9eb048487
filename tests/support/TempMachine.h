// A fresh machine folder for one test, chosen through WINEPREFIX like a user would choose one,
// and removed afterwards. Tests never touch the developer's own prefix.
//
// On Windows (TempMachine_windows.cpp) the machine is the running system: the registry keys the
// platform suites write to are deleted before and after each test, and Folder() is an empty
// temporary folder.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

class TempMachine
{
public:
    // An empty machine, or a copy of `templateFolder` (its registry files copied, its drive_c
    // hard-linked) when one is given.
    explicit TempMachine(const std::string &templateFolder = {});
    ~TempMachine();
    TempMachine(const TempMachine &) = delete;
    TempMachine &operator=(const TempMachine &) = delete;

    const std::string &Folder() const { return folder_; }

    // An empty folder for the test's own files, as a Windows path ("C:\\korvex-files" in the
    // machine's drive C: on Unix, a temporary folder on Windows). Made on first call.
    std::string FilesFolder() const;
    std::string PathOf(const std::string &name) const { return folder_ + "/" + name; }
    // The user's state folder while the machine is in use (where its change journal is kept).
    const std::string &StateFolder() const { return stateFolder_; }

    std::string ReadFile(const std::string &name) const
    {
        std::ifstream in(PathOf(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void WriteFile(const std::string &name, const std::string &text) const
    {
        std::ofstream(PathOf(name), std::ios::binary | std::ios::trunc) << text;
    }

    // Makes the machine report a Windows version by Wine's name for it ("win98", "nt40", ...),
    // as a user sets it with winecfg.
    void ReportWindowsVersion(const char *name) const;

private:
    std::string folder_;
    std::string savedPrefix_;
    bool hadPrefix_ = false;
    std::string stateFolder_;
    std::string savedState_;
    bool hadState_ = false;
};

// A folder made by `mkdtemp` under $TMPDIR (or /tmp), removed with its contents by the caller.
std::string MakeTempFolder(const char *stem);
void RemoveFolder(const std::string &folder);
