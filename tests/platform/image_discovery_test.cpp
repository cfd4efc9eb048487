// Finding the images emulators list: sample configuration files of every kind, in a home of the
// test's own, naming images that hold Windows (in each format the emulator uses, one in a folder
// other than WINDOWS), one that holds only DOS, one listed twice and one that does not exist.
#include "TempMachine.h"
#include "image_discovery.h"
#include "image_process.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

extern char **environ;

namespace
{

namespace fs = std::filesystem;
using namespace win::image;

class Discovery : public ::testing::Test
{
protected:
    ~Discovery() override { RemoveFolder(home_); }

    std::string Image(const std::string &relative, const char *layout, const char *format,
                      const char *windowsFolder = "WINDOWS")
    {
        const std::string path = home_ + "/" + relative;
        fs::create_directories(fs::path(path).parent_path());
        std::vector<std::string> environment;
        for (char **e = environ; *e; ++e)
            environment.emplace_back(*e);
        EXPECT_TRUE(RunProcess({PYTHON3, MAKE_DISK_IMAGE, path, "--layout", layout, "--format", format,
                                "--windows-folder", windowsFolder},
                               environment)
                        .Succeeded());
        return path;
    }

    void Write(const std::string &relative, const std::string &text) const
    {
        WriteFileBytes(home_ + "/" + relative, text);
    }

    std::string home_ = MakeTempFolder("korvex-discovery");
};

TEST_F(Discovery, FindsTheWindowsImagesEveryEmulatorLists)
{
    const std::string box = Image(".local/share/86Box/Virtual Machines/Win98 Box/hdd.img", "fat32", "raw");
    const std::string pcem = Image("pcem/win95.vhd", "fat16", "vhd-fixed");
    const std::string dos = Image("pcem/dos.img", "fat12-floppy", "raw");
    fs::remove(dos);
    ASSERT_TRUE(RunProcess({"mformat", "-C", "-f", "1440", "-i", dos, "::"}, {"PATH=/usr/bin:/bin"}).Succeeded());
    const std::string qemu = Image("vm/me & more.qcow2", "fat16-logical", "qcow2");
    const std::string vbox = Image("VirtualBox VMs/Old/old.vdi", "fat16", "vdi");
    // Windows installed in C:\WIN98, as MSDOS.SYS says.
    const std::string dosbox = Image("dosbox/win 98.img", "fat12-floppy", "raw", "WIN98");

    Write(".local/share/86Box/Virtual Machines/Win98 Box/86box.cfg",
          "[Hard disks]\nhdd_01_parameters = 63, 16, 80, 0, ide\nhdd_01_fn = hdd.img\nhdd_01_ide_channel = 0:0\n");
    Write(".pcem/configs/Pentium.cfg", "hdc_fn = " + dos + "\nhdd_fn = " + pcem + "\ncdrom_path = /none.iso\n");
    Write(".config/libvirt/qemu/winme.xml",
          "<domain type='kvm'>\n  <name>winme</name>\n  <devices>\n    <disk type='file' device='cdrom'>\n"
          "      <source file='" +
              box +
              "'/>\n    </disk>\n    <disk type='file' device='disk'>\n"
              "      <driver name='qemu' type='qcow2'/>\n      <source file='" +
              home_ + "/vm/me &amp; more.qcow2'/>\n    </disk>\n  </devices>\n</domain>\n");
    Write(".config/VirtualBox/VirtualBox.xml", "<VirtualBox>\n  <Global>\n    <MachineRegistry>\n"
                                               "      <MachineEntry uuid=\"{1}\" src=\"" +
                                                   home_ +
                                                   "/VirtualBox VMs/Old/Old.vbox\"/>\n"
                                                   "    </MachineRegistry>\n  </Global>\n</VirtualBox>\n");
    Write("VirtualBox VMs/Old/Old.vbox", "<VirtualBox>\n  <Machine uuid=\"{1}\" name=\"Old 98\">\n    <MediaRegistry>\n"
                                         "      <HardDisks>\n        <HardDisk uuid=\"{2}\" location=\"old.vdi\" "
                                         "format=\"VDI\" type=\"Normal\"/>\n      </HardDisks>\n    </MediaRegistry>\n"
                                         "  </Machine>\n</VirtualBox>\n");
    Write(".config/dosbox-x/dosbox-x-2024.conf", "[sdl]\nfullscreen=false\n[autoexec]\nimgmount c \"" + dosbox +
                                                     "\" -t floppy\nimgmount d missing.img -t hdd\nimgmount e " + box +
                                                     " -t hdd\nboot c:\n");

    DiscoveryPlaces places;
    places.home = home_;
    places.configHome = home_ + "/.config";
    places.dataHome = home_ + "/.local/share";
    places.systemFolders = {home_ + "/etc-libvirt"};
    const std::vector<FoundImage> found = DiscoverImages(places);

    using Row = std::tuple<std::string, std::string, std::string, int>; // emulator, name, image, partition
    std::vector<Row> rows;
    for (const FoundImage &image : found)
        rows.emplace_back(image.emulator, image.name, image.path, image.partition.number);
    EXPECT_EQ(rows, (std::vector<Row>{{"86Box", "Win98 Box", box, 1},
                                      {"PCem", "Pentium", pcem, 1},
                                      {"QEMU", "winme", qemu, 5},
                                      {"VirtualBox", "Old 98", vbox, 1},
                                      {"DOSBox-X", "dosbox-x-2024", dosbox, 0}}));
}

} // namespace
