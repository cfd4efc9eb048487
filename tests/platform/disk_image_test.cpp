// Windows installations inside disk images: every kind of change leaves a file system that
// fsck.fat finds clean and every other file as it was, on each layout and image format; the
// refusals leave the image untouched; a replace cut short is finished on opening; and the
// user's mtools settings change nothing. Images are built by resources/tools/make_disk_image.py.
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "disk_image.h"
#include "fat_reader.h"
#include "image_guard.h"
#include "image_process.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace
{

namespace fs = std::filesystem;
using namespace win::image;
using win::DWORD;
using win::LONG;

constexpr DWORD kRegistryAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// A command run with this process's environment.
ProcessResult Command(const std::vector<std::string> &command)
{
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e)
        environment.emplace_back(*e);
    return RunProcess(command, environment);
}

std::string ReadBytes(const std::string &path, std::uint64_t offset = 0, std::uint64_t length = std::string::npos)
{
    const std::string bytes = FileBytes(path);
    return offset < bytes.size() ? bytes.substr(offset, length) : std::string();
}

// What a file system holds, read through mtools: every file's and folder's attribute letters
// and every file's bytes, keyed by path from the root.
struct Entry {
    std::string attributes;
    std::string bytes;
    bool operator==(const Entry &) const = default;
};
using Contents = std::map<std::string, Entry>;

void PrintTo(const Entry &entry, std::ostream *out)
{
    *out << entry.attributes << " (" << entry.bytes.size() << " bytes)";
}

Contents ContentsOf(const std::string &raw, std::uint64_t offset, const std::string &scratch)
{
    const std::string image = raw + "@@" + std::to_string(offset);
    std::vector<std::string> environment{"PATH=/usr/bin:/bin", "MTOOLS_SKIP_CHECK=1", "LC_ALL=C.UTF-8"};
    const ProcessResult listing = RunProcess({"mattrib", "-i", image, "-X", "-/", "::/*"}, environment);
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    RunProcess({"mcopy", "-i", image, "-s", "-n", "::/*", scratch + "/"}, environment);
    Contents contents;
    std::istringstream lines(listing.out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(" ::/");
        if (at == std::string::npos)
            continue;
        const std::string path = line.substr(at + 4);
        contents[path].attributes = line.substr(0, at);
        if (line.substr(0, at).find('D') == std::string::npos)
            contents[path].bytes = ReadBytes(scratch + "/" + path);
    }
    return contents;
}

// The partition copied out (its blocks of zeros left as holes), checked by fsck.fat without
// repairing: "" when clean.
std::string FsckProblems(const std::string &raw, const Partition &partition, const std::string &scratch)
{
    const std::string copy = scratch + ".part";
    const std::string bytes = ReadBytes(raw, partition.offset, partition.size);
    const int fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    constexpr std::size_t kBlock = 4096;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) {
        const std::size_t length = std::min(kBlock, bytes.size() - at);
        if (std::string_view(bytes).substr(at, length).find_first_not_of('\0') != std::string_view::npos) {
            EXPECT_EQ(pwrite(fd, bytes.data() + at, length, static_cast<off_t>(at)), static_cast<ssize_t>(length));
        }
    }
    EXPECT_EQ(ftruncate(fd, static_cast<off_t>(bytes.size())), 0);
    close(fd);
    const ProcessResult fsck = Command({"fsck.fat", "-n", copy});
    fs::remove(copy);
    return fsck.exitCode == 0 && fsck.out.find("\n") == fsck.out.rfind("\n", fsck.out.size() - 2) ? std::string()
                                                                                                  : fsck.out + fsck.err;
}

class DiskImages : public ::testing::Test
{
protected:
    ~DiskImages() override { RemoveFolder(folder_); }

    std::string Build(const std::string &name, std::vector<std::string> arguments)
    {
        const std::string path = folder_ + "/" + name;
        arguments.insert(arguments.begin(), {PYTHON3, MAKE_DISK_IMAGE, path});
        const ProcessResult made = Command(arguments);
        EXPECT_TRUE(made.Succeeded()) << made.err;
        return path;
    }

    ImageOptions Options() const
    {
        ImageOptions options;
        options.cacheFolder = folder_ + "/cache";
        return options;
    }

    std::unique_ptr<DiskImage> Open(const std::string &path, const ImageOptions &options)
    {
        std::string error;
        std::unique_ptr<DiskImage> image = DiskImage::Open(path, options, error);
        EXPECT_TRUE(image) << error;
        return image;
    }
    std::unique_ptr<DiskImage> Open(const std::string &path) { return Open(path, Options()); }

    // The image's disk as raw sectors: the file itself, or a conversion of it.
    std::string RawDisk(const std::string &path, ImageFormat format)
    {
        if (QemuFormatName(format)[0] == '\0')
            return path;
        const std::string raw = folder_ + "/converted.raw";
        EXPECT_TRUE(
            Command({"qemu-img", "convert", "-U", "-f", QemuFormatName(format), "-O", "raw", path, raw}).Succeeded());
        return raw;
    }

    Contents ContentsOfImage(DiskImage &image)
    {
        return ContentsOf(image.Files().Image(), image.Volume().partition.offset, folder_ + "/scratch");
    }

    std::string folder_ = MakeTempFolder("korvex-images");
};

// ---- Every kind of change on every layout and format --------------------------------------

struct Layout {
    const char *layout;
    const char *format;
    int partition; // the number Windows is expected on
    FatKind kind;
};

constexpr Layout kLayouts[] = {
    {"fat32", "raw", 1, FatKind::Fat32},         {"fat16", "vhd-fixed", 1, FatKind::Fat16},
    {"fat16-logical", "raw", 5, FatKind::Fat16}, {"fat12-floppy", "raw", 0, FatKind::Fat12},
    {"fat16", "qcow2", 1, FatKind::Fat16},       {"fat32", "vhd-dynamic", 1, FatKind::Fat32},
};

// A change and what it does to the file system's contents.
struct Change {
    const char *what;
    std::function<LONG(FatFiles &)> make;
    std::function<void(Contents &)> expect;
};

std::string Pattern(std::size_t size, char seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 7 % 251);
    return bytes;
}

std::vector<Change> Changes(const Contents &original)
{
    const std::string firstSystemDat = original.at("WINDOWS/SYSTEM.DAT").bytes;
    const std::string big = Pattern(300000, 'a');
    const std::string other = Pattern(120000, 'b');
    return {
        {"replace SYSTEM.DAT keeping the original",
         [=](FatFiles &f) { return f.ReplaceFile("WINDOWS\\SYSTEM.DAT", big, true); },
         [=](Contents &c) {
             c["WINDOWS/SYSTEM.DAT"].bytes = big;
             c["WINDOWS/SYSTEM.KVX"] = {"A", firstSystemDat};
         }},
        {"replace it again: the kept original stays the first",
         [=](FatFiles &f) { return f.ReplaceFile("windows\\system.dat", other, true); },
         [=](Contents &c) { c["WINDOWS/SYSTEM.DAT"].bytes = other; }},
        {"make a folder with a long non-ASCII name", [](FatFiles &f) { return f.MakeFolder("WINDOWS\\Профиль Гостя"); },
         [](Contents &c) {
             c["WINDOWS/Профиль Гостя"] = {"D", ""};
         }},
        {"write a new file in it",
         [](FatFiles &f) { return f.ReplaceFile("WINDOWS\\Профиль Гостя\\Tolvane.ini", "[A]\r\n"); },
         [](Contents &c) {
             c["WINDOWS/Профиль Гостя/Tolvane.ini"] = {"A", "[A]\r\n"};
         }},
        {"set its attributes",
         [](FatFiles &f) {
             return f.SetAttributes("WINDOWS\\Профиль Гостя\\Tolvane.ini",
                                    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
         },
         [](Contents &c) { c["WINDOWS/Профиль Гостя/Tolvane.ini"].attributes = "HR"; }},
        {"overwrite it: the attributes stay",
         [](FatFiles &f) { return f.ReplaceFile("WINDOWS\\Профиль Гостя\\TOLVANE.INI", "[B]\r\n"); },
         [](Contents &c) { c["WINDOWS/Профиль Гостя/Tolvane.ini"].bytes = "[B]\r\n"; }},
        {"replace a file that did not exist",
         [](FatFiles &f) { return f.ReplaceFile("WINDOWS\\a[1].txt", "new", false); },
         [](Contents &c) {
             c["WINDOWS/a[1].txt"] = {"A", "new"};
         }},
        {"rename a file", [](FatFiles &f) { return f.Rename("WINDOWS\\WIN.INI", "WINDOWS\\WIN.OLD"); },
         [](Contents &c) {
             c["WINDOWS/WIN.OLD"] = c["WINDOWS/WIN.INI"];
             c.erase("WINDOWS/WIN.INI");
         }},
        {"delete a file", [](FatFiles &f) { return f.Delete("WINDOWS\\WIN.OLD"); },
         [](Contents &c) { c.erase("WINDOWS/WIN.OLD"); }},
        {"delete an empty folder", [](FatFiles &f) { return f.Delete("WINDOWS\\Fonts"); },
         [](Contents &c) { c.erase("WINDOWS/Fonts"); }},
    };
}

class EveryChange : public DiskImages, public ::testing::WithParamInterface<Layout>
{
};

TEST_P(EveryChange, LeavesACleanFileSystemAndEveryOtherFileAsItWas)
{
    const Layout &layout = GetParam();
    const std::string path = Build("disk", {"--layout", layout.layout, "--format", layout.format});
    std::unique_ptr<DiskImage> image = Open(path);
    ASSERT_TRUE(image);
    ASSERT_FALSE(image->ReadOnly()) << image->ReadOnlyMessage();
    EXPECT_EQ(image->Volume().partition.number, layout.partition);
    EXPECT_EQ(image->Volume().geometry.kind, layout.kind);
    const Partition partition = image->Volume().partition;
    const bool inPlace = QemuFormatName(image->Format())[0] == '\0';
    const std::string outside =
        ReadBytes(path, 0, partition.offset) + ReadBytes(path, partition.offset + partition.size);

    Contents expected = ContentsOfImage(*image);
    ASSERT_EQ(expected["WINDOWS/SYSTEM.DAT"].attributes, "ASHR");
    for (const Change &change : Changes(expected)) {
        SCOPED_TRACE(change.what);
        ASSERT_EQ(change.make(image->Files()), ERROR_SUCCESS) << image->Files().LastMessage();
        change.expect(expected);
        const std::string raw = RawDisk(path, image->Format());
        EXPECT_EQ(FsckProblems(raw, partition, folder_ + "/fsck"), "");
        EXPECT_EQ(ContentsOf(raw, partition.offset, folder_ + "/scratch"), expected);
        if (inPlace) {
            EXPECT_TRUE(ReadBytes(path, 0, partition.offset) + ReadBytes(path, partition.offset + partition.size) ==
                        outside)
                << "bytes outside the file system changed";
        } else {
            EXPECT_TRUE(ReadBytes(raw) == ReadBytes(image->Files().Image()))
                << "the image differs from its working copy after writing back";
        }
    }
    DWORD attributes = 0;
    EXPECT_EQ(image->Files().GetAttributes("WINDOWS\\SYSTEM.DAT", attributes), ERROR_SUCCESS);
    EXPECT_EQ(attributes, kRegistryAttributes);
}

void PrintTo(const Layout &layout, std::ostream *out)
{
    *out << layout.layout << " " << layout.format;
}

std::string LayoutName(const ::testing::TestParamInfo<Layout> &layout)
{
    std::string name = std::string(layout.param.layout) + "_" + layout.param.format;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Layouts, EveryChange, ::testing::ValuesIn(kLayouts), LayoutName);

// ---- Refusals ------------------------------------------------------------------------------

// A process started with the image open on its descriptor 3 (as an emulator keeps it), ended
// when the object goes.
class Process
{
public:
    Process(const std::vector<std::string> &command, const std::string &openFile = {})
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!openFile.empty())
            posix_spawn_file_actions_addopen(&actions, 3, openFile.c_str(), O_RDWR, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char *> argv;
        for (const std::string &word : command)
            argv.push_back(const_cast<char *>(word.c_str()));
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_GT(pid_, 0) << command.front() << " did not start";
    }
    ~Process()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

private:
    pid_t pid_ = -1;
};

// What stands in the image's way while it is opened: a holder process, a QEMU-style lock taken
// on an open file description of this process (which /proc does not count).
struct Obstacles {
    std::unique_ptr<Process> holder;
    int lockFd = -1;
    ~Obstacles()
    {
        if (lockFd >= 0)
            close(lockFd);
    }
};

void TakeQemuStyleLock(const std::string &path, Obstacles &obstacles)
{
    obstacles.lockFd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct flock lock {
    };
    lock.l_type = F_RDLCK; // QEMU's shared lock on a permission byte
    lock.l_whence = SEEK_SET;
    lock.l_start = 100;
    lock.l_len = 1;
    ASSERT_EQ(fcntl(obstacles.lockFd, F_OFD_SETLK, &lock), 0);
}

struct RefusalCase {
    const char *what;
    std::vector<std::string> build;
    std::function<void(const std::string &path, Obstacles &)> before;
    Refusal expected;
    const char *message; // a part of the message
};

std::vector<RefusalCase> RefusalCases()
{
    return {
        {"a FAT marked dirty", {"--dirty"}, {}, Refusal::DirtyFileSystem, "ScanDisk"},
        {"an image another process holds open",
         {},
         [](const std::string &path, Obstacles &o) {
             o.holder = std::make_unique<Process>(std::vector<std::string>{"sleep", "600"}, path);
         },
         Refusal::InUse,
         "in use by sleep (process"},
        {"an image under QEMU's lock", {}, TakeQemuStyleLock, Refusal::Locked, "QEMU holds its lock"},
        {"a read-only image file",
         {},
         [](const std::string &path, Obstacles &) { chmod(path.c_str(), 0444); },
         Refusal::ReadOnlyFile,
         "read-only"},
        {"a qcow2 image with snapshots",
         {"--format", "qcow2"},
         [](const std::string &path, Obstacles &) {
             EXPECT_TRUE(Command({"qemu-img", "snapshot", "-c", "before", path}).Succeeded());
         },
         Refusal::Snapshots,
         "qemu-img snapshot -d"},
        {"a qcow2 image over a backing file",
         {"--format", "qcow2"},
         [](const std::string &path, Obstacles &) {
             fs::rename(path, path + ".base");
             EXPECT_TRUE(
                 Command({"qemu-img", "create", "-f", "qcow2", "-b", path + ".base", "-F", "qcow2", path}).Succeeded());
         },
         Refusal::BackingFile,
         "qemu-img convert"},
        {"a VDI image", {"--format", "vdi"}, {}, Refusal::ReadOnlyFormat, "qemu-img convert -f vdi"},
        {"a VMDK image", {"--format", "vmdk"}, {}, Refusal::ReadOnlyFormat, "qemu-img convert -f vmdk"},
    };
}

TEST_F(DiskImages, RefusalsOpenReadOnlyWithTheirMessageAndWriteNothing)
{
    int n = 0;
    for (const RefusalCase &refusal : RefusalCases()) {
        SCOPED_TRACE(refusal.what);
        std::vector<std::string> arguments{"--layout", "fat16"};
        arguments.insert(arguments.end(), refusal.build.begin(), refusal.build.end());
        const std::string path = Build("refused-" + std::to_string(++n), arguments);
        Obstacles obstacles;
        if (refusal.before)
            refusal.before(path, obstacles);
        const std::string before = ReadBytes(path);
        {
            std::unique_ptr<DiskImage> image = Open(path);
            ASSERT_TRUE(image);
            EXPECT_EQ(image->WhyReadOnly(), refusal.expected);
            EXPECT_NE(image->ReadOnlyMessage().find(refusal.message), std::string::npos) << image->ReadOnlyMessage();
            std::string bytes;
            EXPECT_EQ(image->Files().ReadFile("WINDOWS\\SYSTEM.DAT", bytes), ERROR_SUCCESS);
            EXPECT_EQ(bytes, "placeholder SYSTEM.DAT\r\n");
            EXPECT_NE(image->Files().ReplaceFile("WINDOWS\\SYSTEM.DAT", "new", true), ERROR_SUCCESS);
            EXPECT_EQ(image->Files().LastMessage(), image->ReadOnlyMessage());
            EXPECT_NE(image->Files().ReplaceFile("WINDOWS\\NEW.TXT", "new"), ERROR_SUCCESS);
            EXPECT_NE(image->Files().MakeFolder("WINDOWS\\NEW"), ERROR_SUCCESS);
            EXPECT_NE(image->Files().SetAttributes("WINDOWS\\WIN.INI", 0), ERROR_SUCCESS);
        }
        EXPECT_TRUE(ReadBytes(path) == before) << "the image changed";
        chmod(path.c_str(), 0644);
    }
}

// An emulator may take the image, or change it, after Korvex opened it.
TEST_F(DiskImages, AnImageTakenOrChangedAfterOpeningRefusesTheNextChange)
{
    struct Case {
        const char *what;
        const char *format;
        std::function<std::unique_ptr<Process>(const std::string &path)> meanwhile;
        Refusal expected;
    };
    const Case cases[] = {
        {"an emulator opens it", "raw",
         [](const std::string &path) {
             return std::make_unique<Process>(std::vector<std::string>{"sleep", "600"}, path);
         },
         Refusal::InUse},
        {"another program writes the qcow2 image", "qcow2",
         [](const std::string &path) {
             EXPECT_TRUE(Command({"qemu-io", "-f", "qcow2", "-c", "write -P 7 1M 4k", path}).Succeeded());
             return nullptr;
         },
         Refusal::ChangedOutside},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Build(std::string("taken.") + c.format, {"--layout", "fat16", "--format", c.format});
        std::unique_ptr<DiskImage> image = Open(path);
        ASSERT_TRUE(image);
        ASSERT_FALSE(image->ReadOnly());
        const std::unique_ptr<Process> holder = c.meanwhile(path);
        const std::string before = ReadBytes(path);
        EXPECT_EQ(image->Files().ReplaceFile("WINDOWS\\SYSTEM.DAT", "new", true), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(image->WhyReadOnly(), c.expected);
        EXPECT_TRUE(ReadBytes(path) == before) << "the image changed";
    }
}

TEST_F(DiskImages, QemuToolsHoldingAnImageAreSeenByTheirLockAndTheirOpenFile)
{
    const std::string path = Build("qemu.img", {"--layout", "fat12-floppy"});
    EXPECT_FALSE(LockedByAnother(path));
    const Process qemu({"qemu-io", "-f", "raw", "-c", "sleep 600000", path});
    // qemu-io takes its lock right after it starts; wait for it, at most a minute.
    for (int i = 0; i < 600 && !LockedByAnother(path); ++i)
        usleep(100000);
    EXPECT_TRUE(LockedByAnother(path));
    const std::vector<Holder> holders = ProcessesHolding(path);
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].program, "qemu-io");
}

TEST_F(DiskImages, AFullFileSystemFailsTheWriteAndLeavesEveryFileAsItWas)
{
    const std::string filler = folder_ + "/filler";
    std::ofstream(filler, std::ios::binary) << std::string(1350000, 'f');
    const std::string path = Build("full.img", {"--layout", "fat12-floppy", "--file", filler + "=FILLER.BIN"});
    std::unique_ptr<DiskImage> image = Open(path);
    ASSERT_TRUE(image);
    const Contents before = ContentsOfImage(*image);
    const std::function<LONG(FatFiles &)> writes[] = {
        [](FatFiles &f) { return f.ReplaceFile("WINDOWS\\SYSTEM.DAT", std::string(200000, 's'), true); },
        [](FatFiles &f) { return f.ReplaceFile("WINDOWS\\BIG.BIN", std::string(200000, 'b')); },
    };
    for (const auto &write : writes) {
        EXPECT_EQ(write(image->Files()), ERROR_DISK_FULL);
        EXPECT_NE(image->Files().LastMessage().find("Disk full"), std::string::npos) << image->Files().LastMessage();
        EXPECT_EQ(ContentsOfImage(*image), before);
        EXPECT_EQ(FsckProblems(path, image->Volume().partition, folder_ + "/fsck"), "");
    }
}

TEST_F(DiskImages, WorkingCopiesLeftByEndedProcessesAreRemoved)
{
    const std::string path = Build("copied.qcow2", {"--layout", "fat12-floppy", "--format", "qcow2"});
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    waitpid(ended, nullptr, 0);
    const std::string copies = folder_ + "/cache/images/";
    fs::create_directories(copies);
    const std::string left = copies + std::to_string(ended) + "-copied.qcow2-AbCdEf";
    const std::string live = copies + std::to_string(getppid()) + "-copied.qcow2-AbCdEf";
    std::ofstream(left) << "left";
    std::ofstream(live) << "live";
    ASSERT_TRUE(Open(path));
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(live));
}

// ---- A replace cut short -------------------------------------------------------------------

TEST_F(DiskImages, OpeningFinishesAReplaceCutShortWhenTheLeftFilePassesTheCheck)
{
    struct Case {
        const char *what;
        bool systemDatLeft; // the crash came before the old file was deleted
        bool accepted;      // the check passes SYSTEM.NEW
        bool finished;
    };
    const Case cases[] = {
        {"old file deleted, new one sound", false, true, true},
        {"old file deleted, new one rejected", false, false, false},
        {"old file still there", true, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Build("cut.img", {"--layout", "fat16"});
        const std::string image = path + "@@32256";
        const std::vector<std::string> mtools{"PATH=/usr/bin:/bin", "MTOOLS_SKIP_CHECK=1"};
        RunProcess({"mcopy", "-i", image, "-D", "o", "-", "::/WINDOWS/SYSTEM.NEW"}, mtools, "NEW BYTES");
        if (!c.systemDatLeft)
            RunProcess({"mdel", "-i", image, "::/WINDOWS/SYSTEM.DAT"}, mtools);
        std::vector<std::string> asked;
        ImageOptions options = Options();
        options.checkLeftNewFile = [&](const std::string &file, const std::string &bytes) {
            asked.push_back(file);
            return c.accepted && bytes == "NEW BYTES";
        };
        std::unique_ptr<DiskImage> opened = Open(path, options);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->FinishedReplaces(),
                  (c.finished ? std::vector<std::string>{"WINDOWS\\SYSTEM.DAT"} : std::vector<std::string>{}));
        EXPECT_EQ(asked,
                  (c.systemDatLeft ? std::vector<std::string>{} : std::vector<std::string>{"WINDOWS\\SYSTEM.DAT"}));
        std::string bytes;
        opened->Files().ReadFile("WINDOWS\\SYSTEM.DAT", bytes);
        EXPECT_EQ(bytes, c.finished ? "NEW BYTES" : c.systemDatLeft ? "placeholder SYSTEM.DAT\r\n" : "");
        EXPECT_EQ(opened->Files().Exists("WINDOWS\\SYSTEM.NEW"), !c.finished);
    }
}

// ---- mtools as Korvex runs it ---------------------------------------------------------------

TEST_F(DiskImages, TheUsersMtoolsSettingsChangeNoName)
{
    const std::string home = folder_ + "/home";
    fs::create_directories(home);
    std::ofstream(home + "/.mtoolsrc") << "MTOOLS_NO_VFAT=1\nMTOOLS_LOWER_CASE=1\nMTOOLS_NAME_NUMERIC_TAIL=0\n"
                                          "default_codepage=850\n";
    ScopedEnv env;
    env.Set("HOME", home);
    env.Set("MTOOLS_NO_VFAT", "1");
    env.Set("MTOOLS_LOWER_CASE", "1");
    env.Set("LC_ALL", "C");
    const std::string path = Build("names.img", {"--layout", "fat16"});
    ImageOptions options = Options();
    options.codePage = 866;
    std::unique_ptr<DiskImage> image = Open(path, options);
    ASSERT_TRUE(image);
    for (const char *name : {"Mixed.Txt", "Профиль.ini", "a[1] b.txt", "SYSTEM.INI"}) {
        SCOPED_TRACE(name);
        const std::string file = std::string("WINDOWS\\") + name;
        ASSERT_EQ(image->Files().ReplaceFile(file, name), ERROR_SUCCESS) << image->Files().LastMessage();
        std::vector<FolderItem> items;
        ASSERT_EQ(image->Files().ListFolder("WINDOWS", items), ERROR_SUCCESS);
        EXPECT_TRUE(std::any_of(items.begin(), items.end(), [&](const FolderItem &i) { return i.name == name; }));
        std::string bytes;
        EXPECT_EQ(image->Files().ReadFile(file, bytes), ERROR_SUCCESS);
        EXPECT_EQ(bytes, name);
    }
    // The short name of a Cyrillic name is made in the guest's code page (866 here).
    FileSource disk(path, fs::file_size(path));
    FatReader reader(disk, image->Volume().partition.offset, image->Volume().geometry);
    const std::optional<FatEntry> cyrillic = reader.Find("WINDOWS\\Профиль.ini");
    ASSERT_TRUE(cyrillic);
    EXPECT_EQ(cyrillic->shortName, "\x8F\x90\x8E\x94\x88\x8B\x9C.INI");
}

} // namespace
