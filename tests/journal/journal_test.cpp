// The change journal: what each write function records, undo back to the state before, and a
// journal that survives a crash, damage and a newer version.
#include "RegistryValues.h"
#include "TempMachine.h"
#include "change_bracket.h"
#include "files.h"
#include "journal.h"
#include "machine.h"
#include "win32.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using journal::Kind;
using journal::Record;

namespace
{

constexpr const char *kKey = "Software\\KorvexJournal";

constexpr const char *kIni = "C:\\Work\\Desktop.ini";

bool SetDword(const char *key, const char *name, win::DWORD value)
{
    return regvalues::SetDword(HKEY_CURRENT_USER, key, name, value) == ERROR_SUCCESS;
}

bool DeleteValue(const char *key, const char *name)
{
    win::HKEY handle = nullptr;
    const bool deleted = win::RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &handle) == ERROR_SUCCESS &&
                         win::RegDeleteValueA(handle, name) == ERROR_SUCCESS;
    win::RegCloseKey(handle);
    return deleted;
}

// A registry file's text without the times Korvex and Wine stamp on keys they touch.
std::string WithoutTimes(const std::string &text)
{
    std::istringstream lines(text);
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("#time="))
            line.clear();
        else if (const std::size_t stamp = line.rfind("] "); line.starts_with('[') && stamp != std::string::npos)
            line.resize(stamp + 1);
        out += line + '\n';
    }
    return out;
}

// Every file below drive_c with its content, and the drive links.
std::string FolderSnapshot(const std::string &machine)
{
    std::ostringstream out;
    for (auto it = fs::recursive_directory_iterator(machine + "/drive_c"); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->is_symlink())
            continue;
        out << it->path().string() << " attrs "
            << win::GetFileAttributesA(win::WindowsPathOf(it->path().string()).c_str());
        if (it->is_regular_file()) {
            std::ifstream in(it->path(), std::ios::binary);
            out << " = " << in.rdbuf();
        }
        out << "\n";
    }
    for (const auto &link : fs::directory_iterator(machine + "/dosdevices"))
        out << link.path().filename().string() << " -> " << fs::read_symlink(link.path()).string() << "\n";
    return out.str();
}

class Journal : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { journal::Install(); }

    std::string Registry() const
    {
        std::string all;
        for (const char *file : {"system.reg", "user.reg", "userdef.reg"})
            all += WithoutTimes(machine_->ReadFile(file));
        return all;
    }

    std::unique_ptr<TempMachine> machine_ = std::make_unique<TempMachine>(WineTemplate());
};

struct Change {
    const char *what;
    Kind kind;
    std::function<bool()> make; // true when the call reports success
};

// Each kind of change, made through the write functions the pages use, is recorded once and
// undone to the registry and folder as they were.
TEST_F(Journal, EveryKindOfChangeIsRecordedAndUndoneToTheStateBefore)
{
    const std::string folder = machine_->Folder();
    fs::create_directories(folder + "/drive_c/Work/Sub");
    machine_->WriteFile("drive_c/Work/old.txt", "old text\r\n");
    machine_->WriteFile("drive_c/Work/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=a.ico\r\n");
    {
        const journal::Pause setUp;
        ASSERT_TRUE(SetDword(kKey, "Existing", 7));
        regvalues::SetString(HKEY_CURRENT_USER, "Software\\KorvexJournal\\Tree\\Leaf", "Text", "лист");
    }
    const Change changes[] = {
        {"new value in a new key", Kind::KeyCreated,
         [] { return SetDword("Software\\KorvexJournal\\New\\Deeper", "V", 1); }},
        {"value overwritten", Kind::Value, [] { return SetDword(kKey, "Existing", 8); }},
        {"value deleted", Kind::Value, [] { return DeleteValue(kKey, "Existing"); }},
        {"key deleted with content", Kind::KeyDeleted,
         [] { return win::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KorvexJournal\\Tree") == ERROR_SUCCESS; }},
        {"profile string", Kind::Profile,
         [] { return win::WritePrivateProfileStringA(".ShellClassInfo", "IconFile", "b.ico", kIni) != 0; }},
        {"file overwritten", Kind::File, [] { return win::WriteTextLines("C:\\Work\\old.txt", {"new"}); }},
        {"file created", Kind::File, [] { return win::WriteWholeFile("C:\\Work\\new.exe", "MZ", true); }},
        {"file copied", Kind::File,
         [] { return win::CopyFileA("C:\\Work\\old.txt", "C:\\Work\\Sub\\copy.txt", 0) != 0; }},
        {"attributes", Kind::Attributes,
         [] { return win::SetFileAttributesA("C:\\Work\\Sub", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM) != 0; }},
        {"drive made", Kind::Drive, [] { return win::WinExec("subst Q: C:\\Work", SW_HIDE) > 31; }},
    };
    const std::string registryBefore = Registry();
    const std::string folderBefore = FolderSnapshot(folder);
    for (const Change &change : changes) {
        const std::size_t count = journal::Records().size();
        ASSERT_TRUE(change.make()) << change.what;
        const std::vector<Record> records = journal::Records();
        ASSERT_GT(records.size(), count) << change.what << ": not recorded";
        EXPECT_EQ(records[count].kind, change.kind) << change.what;
    }
    ASSERT_NE(Registry(), registryBefore);
    const std::vector<Record> records = journal::Records();
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        ASSERT_EQ(journal::Undo(*it), ERROR_SUCCESS) << it->target;
    EXPECT_EQ(Registry(), registryBefore);
    EXPECT_EQ(FolderSnapshot(folder), folderBefore);
}

// A drive removed by subst comes back on undo, and an undo is itself recorded, naming the change.
TEST_F(Journal, UndoIsRecordedAndBringsARemovedDriveBack)
{
    fs::create_directories(machine_->Folder() + "/drive_c/Disk");
    {
        const journal::Pause setUp;
        win::WinExec("subst R: C:\\Disk", SW_HIDE);
    }
    ASSERT_NE(win::GetDriveTypeA("R:\\"), static_cast<win::UINT>(DRIVE_NO_ROOT_DIR));
    win::WinExec("subst /D R:", SW_HIDE);
    ASSERT_EQ(win::GetDriveTypeA("R:\\"), static_cast<win::UINT>(DRIVE_NO_ROOT_DIR));
    const std::vector<Record> records = journal::Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(journal::Undo(records[0]), ERROR_SUCCESS);
    EXPECT_EQ(win::HostPathOf("R:\\"), machine_->Folder() + "/drive_c/Disk");
    EXPECT_EQ(journal::Records().back().undoes, records[0].id);
}

// A change that fails leaves no record; one that changes nothing leaves none either.
TEST_F(Journal, FailedAndEmptyChangesAreNotRecorded)
{
    ASSERT_TRUE(SetDword(kKey, "Same", 1));
    const std::size_t count = journal::Records().size();
    ASSERT_TRUE(SetDword(kKey, "Same", 1));
    EXPECT_EQ(journal::Records().size(), count);

    win::HKEY readOnly = nullptr;
    ASSERT_EQ(win::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    const win::DWORD two = 2;
    EXPECT_NE(win::RegSetValueExA(readOnly, "Same", 0, REG_DWORD, reinterpret_cast<const win::BYTE *>(&two), 4),
              ERROR_SUCCESS);
    win::RegCloseKey(readOnly);
    EXPECT_FALSE(win::WriteTextLines("C:\\No such folder\\x.txt", {"x"}));
    chmod(machine_->PathOf("user.reg").c_str(), 0444);
    chmod(machine_->Folder().c_str(), 0555);
    EXPECT_FALSE(SetDword(kKey, "Same", 2)) << "the machine folder is read-only";
    chmod(machine_->Folder().c_str(), 0755);
    chmod(machine_->PathOf("user.reg").c_str(), 0644);
    EXPECT_EQ(journal::Records().size(), count);
}

// Undo of a change whose key has since gone puts back what was recorded.
TEST_F(Journal, UndoRestoresAValueWhoseKeyWasRemoved)
{
    {
        const journal::Pause setUp;
        ASSERT_TRUE(SetDword(kKey, "Kept", 5));
    }
    ASSERT_TRUE(SetDword(kKey, "Kept", 6));
    const Record change = journal::Records().back();
    {
        const journal::Pause elsewhere;
        ASSERT_EQ(win::RegDeleteKeyA(HKEY_CURRENT_USER, kKey), ERROR_SUCCESS);
    }
    EXPECT_FALSE(journal::StillAsWritten(change));
    ASSERT_EQ(journal::Undo(change), ERROR_SUCCESS);
    EXPECT_EQ(journal::CurrentState(change), change.before);
}

// A bracket writes each registry file once at its end and is recorded as one group; undoing the
// group, in brackets nested inside the undo's own, restores every file and is a group again.
TEST_F(Journal, ABracketIsWrittenOnceAndUndoneAsOneGroup)
{
    {
        const journal::Pause setUp;
        ASSERT_TRUE(SetDword(kKey, "User", 1));
        ASSERT_EQ(regvalues::SetDword(HKEY_LOCAL_MACHINE, kKey, "Machine", 1), ERROR_SUCCESS);
    }
    const std::string before = Registry();
    const std::string userFile = machine_->ReadFile("user.reg");
    {
        win::ChangeBracket save;
        ASSERT_TRUE(SetDword(kKey, "User", 2));
        ASSERT_TRUE(SetDword(kKey, "Added", 3));
        ASSERT_EQ(regvalues::SetDword(HKEY_LOCAL_MACHINE, kKey, "Machine", 2), ERROR_SUCCESS);
        EXPECT_EQ(regvalues::QueryDword(HKEY_CURRENT_USER, kKey, "User"), 2u) << "reads see the bracket's changes";
        EXPECT_EQ(machine_->ReadFile("user.reg"), userFile) << "written before the bracket ended";
        ASSERT_EQ(save.End(), ERROR_SUCCESS);
    }
    win::ResetMachine();
    EXPECT_EQ(regvalues::QueryDword(HKEY_LOCAL_MACHINE, kKey, "Machine"), 2u);
    std::vector<Record> records = journal::Records();
    std::reverse(records.begin(), records.end());
    const std::vector<Record> group = journal::GroupOf(records.front(), records);
    ASSERT_EQ(group.size(), 3u);
    EXPECT_NE(group.front().group, 0u);

    win::ChangeBracket undo;
    for (const Record &r : group)
        ASSERT_EQ(journal::Undo(r), ERROR_SUCCESS);
    ASSERT_EQ(undo.End(), ERROR_SUCCESS);
    EXPECT_EQ(Registry(), before);
    records = journal::Records();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_NE(records.back().group, group.front().group);
    EXPECT_EQ(journal::GroupOf(records.back(), {records.rbegin(), records.rend()}).size(), 3u);
}

// A change of a second file that fails inside a bracket leaves the first file as it was too,
// and nothing of the bracket is recorded.
TEST_F(Journal, ABracketWhoseSecondFileFailsWritesNothing)
{
    const std::string before = Registry();
    const std::size_t count = journal::Records().size();
    win::ChangeBracket save;
    ASSERT_EQ(regvalues::SetDword(HKEY_LOCAL_MACHINE, kKey, "Machine", 7), ERROR_SUCCESS);
    chmod(machine_->PathOf("user.reg").c_str(), 0444);
    EXPECT_FALSE(SetDword(kKey, "User", 7));
    EXPECT_EQ(save.End(), ERROR_ACCESS_DENIED);
    chmod(machine_->PathOf("user.reg").c_str(), 0644);
    EXPECT_EQ(Registry(), before);
    EXPECT_EQ(regvalues::QueryDword(HKEY_LOCAL_MACHINE, kKey, "Machine"), std::nullopt) << "kept in memory";
    EXPECT_EQ(journal::Records().size(), count);
}

// The journal is read afresh as a new process would read it.
std::vector<Record> ReopenedRecords()
{
    win::ResetMachine();
    return journal::Records();
}

// A writer killed while appending leaves a journal whose complete records load and to which
// the next change is appended.
TEST_F(Journal, AWriterKilledMidRecordLeavesAJournalThatLoads)
{
    ASSERT_TRUE(SetDword(kKey, "First", 1));
    const std::string path = journal::JournalPath();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (win::DWORD i = 0;; ++i)
            regvalues::SetString(HKEY_CURRENT_USER, kKey, "Spin", std::string(4096, static_cast<char>('a' + i % 26)));
    }
    while (fs::file_size(path) < std::uintmax_t{64} * 1024)
        usleep(1000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // Whatever the kill left, a record cut anywhere must be dropped and nothing before it.
    const std::string left = FileBytes(path);
    for (const std::size_t cut : {std::size_t{1}, std::size_t{7}, std::size_t{100}}) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << left.substr(0, left.size() - cut);
        const std::vector<Record> records = ReopenedRecords();
        ASSERT_GE(records.size(), 2u);
        EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const Record &r) { return r.name == "First"; }));
        EXPECT_EQ(journal::ProblemReport(), "");
    }
    const std::size_t before = journal::Records().size();
    // One torn while this process has the journal open is cut off before the next append too.
    std::ofstream(path, std::ios::binary | std::ios::trunc) << left.substr(0, left.size() - 7);
    ASSERT_TRUE(SetDword(kKey, "After", 1));
    EXPECT_EQ(ReopenedRecords().size(), before + 1);
    EXPECT_EQ(ReopenedRecords().back().name, "After");
}

std::vector<std::string> NamesOf(const std::vector<Record> &records)
{
    std::vector<std::string> names;
    for (const Record &r : records)
        names.push_back(r.name);
    return names;
}

struct Damage {
    const char *what;
    std::size_t at; // from the start of the eleventh record (its length, checksum, payload)
    char bits;      // flipped there; 0: `reported` names the whole file's damage
    const char *reported;
};

// Damage before the last record, or a journal from a newer Korvex, is set aside whole and told
// once; every record that still checks is kept, and the next change follows them.
TEST_F(Journal, ADamagedJournalIsKeptAsideAndKeepsEveryRecordThatChecks)
{
    const Damage damages[] = {
        {"a low bit of the eleventh length", 0, 0x01, "damaged"},
        {"a high bit of the eleventh length", 1, 0x40, "damaged"},
        {"a byte of the eleventh record", 20, 0x10, "damaged"},
        {"a newer version", 0, 0, "newer"},
        {"no journal at all", 0, 0, "damaged"},
    };
    SetDword(kKey, "MakesTheKey", 0);
    for (const Damage &damage : damages) {
        fs::remove(journal::JournalPath());
        std::vector<std::string> expected;
        for (int i = 1; i <= 20; ++i) {
            ASSERT_TRUE(
                SetDword(kKey, ("Value" + std::to_string(i)).c_str(), static_cast<win::DWORD>(&damage - damages)));
            if (i != 11 && damage.bits)
                expected.push_back("Value" + std::to_string(i));
        }
        const std::string path = journal::JournalPath();
        std::string bytes = FileBytes(path);
        if (damage.bits) {
            char &flipped = bytes[journal::Records().at(10).id + damage.at];
            flipped = static_cast<char>(flipped ^ damage.bits);
        } else {
            bytes = damage.reported == std::string("newer") ? bytes.replace(4, 1, 1, '\x09') : "not a journal";
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        const std::vector<Record> kept = ReopenedRecords();
        EXPECT_EQ(NamesOf(kept), expected) << damage.what;
        const std::string problem = journal::ProblemReport();
        EXPECT_NE(problem.find(damage.reported), std::string::npos) << damage.what << ": " << problem;
        EXPECT_EQ(journal::ProblemReport(), "") << damage.what;
        EXPECT_EQ(FileBytes(problem.substr(problem.find(": ") + 2)), bytes) << damage.what;
        ASSERT_TRUE(SetDword(kKey, "After", static_cast<win::DWORD>(&damage - damages)));
        const Record after = ReopenedRecords().back();
        EXPECT_TRUE(std::none_of(kept.begin(), kept.end(), [&](const Record &r) { return r.id == after.id; }))
            << damage.what << ": a kept record has the new record's id";
    }
}

// A full disk (a file-size limit here) cuts a record short: it is cut off again and told once,
// the next change that fits is recorded, and the next start reads every record written whole.
TEST_F(Journal, AnAppendThatFailsIsCutOffToldOnceAndLaterChangesAreStillRecorded)
{
    SetDword(kKey, "MakesTheKey", 0);
    const std::string path = journal::JournalPath();
    const auto append = [](const char *name, std::size_t size) {
        Record record;
        record.name = name;
        record.after = {true, REG_SZ, std::string(size, 'x')};
        return journal::Append(record);
    };
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, SIG_IGN); // write() then fails with EFBIG, as with ENOSPC on a full disk
    const rlimit limited{static_cast<rlim_t>(fs::file_size(path) + 600), saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const std::vector<bool> appended = {append("TooLong", 4096), append("Small", 100), append("TooLongAgain", 4096)};
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(appended, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(journal::ProblemReport(), "not recorded: " + path);
    EXPECT_EQ(journal::ProblemReport(), "") << "told once in a run";
    ASSERT_TRUE(SetDword(kKey, "Later", 1));
    EXPECT_EQ(NamesOf(ReopenedRecords()), (std::vector<std::string>{"", "MakesTheKey", "Small", "Later"}));
}

// The journal is kept outside the machine, in the user's state folder, one per machine.
TEST_F(Journal, EachMachineHasItsOwnJournalInTheStateFolder)
{
    ASSERT_TRUE(SetDword(kKey, "Here", 1));
    const std::string path = journal::JournalPath();
    EXPECT_EQ(path.rfind(machine_->StateFolder() + "/korvex/history/", 0), 0u) << path;
    TempMachine other;
    EXPECT_NE(journal::JournalPath(), path);
    EXPECT_TRUE(journal::Records().empty());
}

} // namespace
