// The virtual drive page used as a user uses it: the letters it offers, mounting a folder and
// unmounting it again on the machine's drives, and the second the page stays locked meanwhile.
#include "PageTest.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{

class VhddTest : public PageTest
{
protected:
    Page &Page_() const { return *MdlStart::CurrentPage(); }

    // Whether the two buttons and the two letter lists can be used.
    std::vector<bool> Unlocked() const
    {
        std::vector<bool> enabled;
        for (const char *name : {"cmdMount", "cmdUm", "cbDrive", "cbUm"})
            enabled.push_back(Page_().findChild<QWidget *>(QLatin1String(name))->isEnabled());
        return enabled;
    }

    // Runs the event loop until the page has rebuilt its lists after a command.
    void WaitForRefresh() const
    {
        const QDeadlineTimer deadline(10000);
        while (Unlocked() != std::vector<bool>(4, true) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    void Choose(const char *combo, const char *letter) const
    {
        auto &box = Control<QComboBox>(Page_(), combo);
        box.setCurrentIndex(box.findText(QLatin1String(letter)));
        ASSERT_EQ(box.currentText(), letter);
    }

    void Link(char letter, const char *target) const
    {
        fs::create_directory_symlink(target, machine_.PathOf(std::string("dosdevices/") + letter + ':'));
    }
};

TEST_F(VhddTest, OffersOnlyFixedDisksForUnmountingAndNoMountWithoutAFreeLetter)
{
    for (char letter = 'd'; letter <= 'y'; ++letter)
        Link(letter, "../drive_c");
    PutString(HKEY_LOCAL_MACHINE, "Software\\Wine\\Drives", "d:", "cdrom");
    EXPECT_EQ(Open("Subst").objectName(), "frmVHDD");
    EXPECT_FALSE(Rows("cbUm").contains("D:")) << "a CD-ROM is no fixed disk";
    EXPECT_TRUE(Rows("cbUm").contains("C:"));
    EXPECT_TRUE(Rows("cbDrive").isEmpty());
    EXPECT_FALSE(Control<QPushButton>(Page_(), "cmdMount").isEnabled());
    EXPECT_TRUE(Control<QPushButton>(Page_(), "cmdUm").isEnabled());
}

TEST_F(VhddTest, MountsTheHighlightedFolderOrTheDriveRootUnmountsAndLeavesRealDisksAlone)
{
    fs::create_directories(machine_.PathOf("drive_c/My Games"));
    Open("Subst");
    Choose("cbDrive", "E:");
    EXPECT_TRUE(Click("cmdMount").empty()) << "no row highlighted: the drive's root";
    EXPECT_EQ(Unlocked(), std::vector<bool>(4, false)) << "locked for a second";
    EXPECT_TRUE(fs::equivalent(machine_.PathOf("dosdevices/e:"), machine_.PathOf("drive_c")));
    WaitForRefresh();
    EXPECT_FALSE(Rows("cbDrive").contains("E:"));
    auto &folders = Control<QListWidget>(Page_(), "DirTH");
    folders.setCurrentItem(folders.findItems(QStringLiteral("My Games"), Qt::MatchExactly).value(0));
    Choose("cbDrive", "F:");
    Click("cmdMount");
    EXPECT_TRUE(fs::equivalent(machine_.PathOf("dosdevices/f:"), machine_.PathOf("drive_c/My Games")));
    WaitForRefresh();

    Choose("cbUm", "E:");
    EXPECT_TRUE(Click("cmdUm").empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(machine_.PathOf("dosdevices/e:"))));
    WaitForRefresh();
    EXPECT_EQ(Rows("cbDrive").first(), "D:");
    EXPECT_FALSE(Rows("cbUm").contains("E:"));

    Choose("cbUm", "C:");
    Click("cmdUm");
    WaitForRefresh();
    EXPECT_TRUE(fs::is_symlink(machine_.PathOf("dosdevices/c:"))) << "C: is a real disk";
}

} // namespace
