// What Korvex does with the machine at start: a new folder becomes a Windows 98 machine with the
// files the pages need, and a machine that cannot be changed is explained once.
#include "PageTest.h"
#include "icons.h"

#include <QFile>
#include <QLabel>

namespace
{

using MachineCheck = PageTest;

TEST_F(MachineCheck, ANewFolderStartsAsWindows98AndAnExistingOneIsLeftAlone)
{
    const std::string home = MakeTempFolder("korvex-home");
    {
        ScopedEnv env;
        env.Set("HOME", home);
        env.Unset("WINEPREFIX");
        env.Unset("XDG_DATA_HOME");
        win::ResetMachine();
        EXPECT_TRUE(SeedNewMachine());
        EXPECT_EQ(win::MachineFolder(), home + "/.local/share/korvex/machine");
        EXPECT_TRUE(win::IsWindows9xMachine());
        EXPECT_TRUE(QFile::permissions(QString::fromStdString(home + "/.local/share/korvex/machine/user.reg")) &
                    QFileDevice::WriteOwner);
        EXPECT_FALSE(SeedNewMachine()) << "a machine that has a registry is never seeded again";
        win::ResetMachine();
    }
    RemoveFolder(home);
    win::ResetMachine();
}

TEST_F(MachineCheck, ADamagedRegistryFileIsNamedInOneMessageAndAHealthyMachineInNone)
{
    {
        MessageBoxAnswerer none;
        ReportMachineProblems(nullptr);
        EXPECT_TRUE(none.Seen().empty());
    }
    machine_.WriteFile("user.reg", "not a registry\n");
    machine_.WriteFile("userdef.reg", "neither\n");
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Enter()});
    ReportMachineProblems(nullptr);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    const QString text = boxes.Seen()[0].text;
    EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Korvex"));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine_.PathOf("user.reg"))));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine_.PathOf("userdef.reg"))));
    EXPECT_FALSE(text.contains(QString::fromStdString(machine_.PathOf("system.reg"))));

    env_.Set("LANG", "ru_RU.UTF-8");
    EXPECT_TRUE(MachineProblems().contains(QStringLiteral("Korvex сейчас не может")));
}

// The system icons page lists the seed's icon library, and the folder icon page finds the seed's
// folder with its own icon, as the shell would.
TEST_F(MachineCheck, ANewMachineHasAnIconLibraryAndAFolderWithItsOwnIcon)
{
    UseSeed();
    Page &icons = Open("sysIco");
    const auto &list = Control<QListWidget>(icons, "lstSI");
    ASSERT_EQ(list.count(), 48);
    EXPECT_TRUE(list.item(47)->text().startsWith(QStringLiteral("47\t")));
    EXPECT_FALSE(Control<QLabel>(icons, "picI").pixmap().isNull()) << "the first icon is drawn";
    EXPECT_TRUE(Leave().empty());

    // The folder carries the system attribute, so its Desktop.ini names the icon shown.
    EXPECT_EQ(win::GetFileAttributesA("C:\\My Documents") & FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_SYSTEM);
    char iconFile[128] = {};
    win::GetPrivateProfileStringA(".ShellClassInfo", "IconFile", "0", iconFile, sizeof iconFile,
                                  "C:\\My Documents\\Desktop.ini");
    EXPECT_STREQ(iconFile, "Documents.ico");
    EXPECT_EQ(win::ExtractIconCount(win::HostPathOf("C:\\My Documents\\Documents.ico")), 1);

    // Seeding again keeps what the machine has.
    machine_.WriteFile("drive_c/My Documents/Desktop.ini", "[.ShellClassInfo]\r\nIconFile=mine.ico\r\n");
    std::remove(machine_.PathOf("system.reg").c_str());
    SeedNewMachine();
    EXPECT_EQ(machine_.ReadFile("drive_c/My Documents/Desktop.ini"), "[.ShellClassInfo]\r\nIconFile=mine.ico\r\n");
}

} // namespace
