// The files a new machine starts with: the system icons page lists the seed's icon library, and
// the folder icon page finds the seed's folder with its own icon, as the shell would.
#include "PageTest.h"
#include "icons.h"

#include <QLabel>
#include <QListWidget>

namespace
{

TEST_F(PageTest, ANewMachineHasAnIconLibraryAndAFolderWithItsOwnIcon)
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
