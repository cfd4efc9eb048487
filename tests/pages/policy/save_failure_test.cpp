// A save that could not be written says so: once per save, in the user's terms, leaving the
// registry files as they were, and a later save stores the values once the cause is gone.
#include "PageTest.h"
#include "Strings.h"
#include "WinePrograms.h"

#include <QStandardPaths>
#include <filesystem>

namespace
{

namespace fs = std::filesystem;

constexpr const char *kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char *kUpdate = "SYSTEM\\CurrentControlSet\\Control\\Update";
constexpr const char *kUserExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

struct Cause {
    const char *name;
    const char *page;      // the tree key of the page that is saved
    int box;               // the box ticked there
    const char *file;      // the registry file that must stay as it was
    const char *valueName; // the value the warning names
    int reasonId;          // the text that tells why
    const char *userValue; // a switch of the page in the user's hive, left unsaved too
};

constexpr Cause kCauses[] = {
    {"wineserver", "StartMenu", 3, "user.reg", "NoRun", 1101, nullptr},
    {"readOnly", "StartMenu", 3, "user.reg", "NoRun", 1102, nullptr},
    {"damaged", "Korvex", 4, "system.reg", "UpdateMode", 1104, "NoDesktop"},
};

class FailedSave : public PageTest, public ::testing::WithParamInterface<Cause>
{
protected:
    void TearDown() override
    {
        Mend();
        PageTest::TearDown();
    }

    // Brings the cause about; false when this machine cannot (Wine is missing).
    bool Break()
    {
        const std::string name = GetParam().name;
        if (name == "wineserver") {
            if (QStandardPaths::findExecutable(QStringLiteral("wineserver")).isEmpty())
                return false;
            serverStarted_ =
                RunWine(machine_.Folder(), QStringLiteral("wineserver"), {QStringLiteral("-p")}).exitCode != -1;
            return serverStarted_ && WaitForWineServer(true);
        }
        if (name == "readOnly") {
            fs::permissions(machine_.PathOf("user.reg"), fs::perms::owner_read);
            return true;
        }
        damagedFrom_ = machine_.ReadFile("system.reg");
        machine_.WriteFile("system.reg", "WINE REGISTRY Version 2\n[broken\n");
        return true;
    }

    void Mend()
    {
        if (serverStarted_) {
            serverStarted_ = false;
            EXPECT_NE(RunWine(machine_.Folder(), QStringLiteral("wineserver"), {QStringLiteral("-k")}).exitCode, -1);
            EXPECT_TRUE(WaitForWineServer(false));
        }
        fs::permissions(machine_.PathOf("user.reg"), fs::perms::owner_write, fs::perm_options::add);
        if (!damagedFrom_.empty())
            machine_.WriteFile("system.reg", std::exchange(damagedFrom_, {}));
    }

    void Tick(const Cause &cause)
    {
        Control<QCheckBox>(Open(cause.page), ("chk_" + std::to_string(cause.box)).c_str()).click();
    }

    bool serverStarted_ = false;
    std::string damagedFrom_;
};

TEST_P(FailedSave, WarnsOnceKeepsTheFilesAndSavesOnceTheCauseIsGone)
{
    const Cause &cause = GetParam();
    Open("About"); // started before the cause, as when a Wine program starts later
    if (!Break())
        GTEST_SKIP() << "Wine is not installed";
    const std::string before = machine_.ReadFile(cause.file);
    const std::string userBefore = machine_.ReadFile("user.reg");

    Tick(cause);
    const Boxes boxes = Leave({Yes, Ok});
    ASSERT_EQ(boxes.size(), 2u) << "the question, then exactly one warning";
    EXPECT_EQ(boxes[1].icon, QMessageBox::Warning);
    EXPECT_TRUE(boxes[1].text.startsWith(LoadResString(1100))) << boxes[1].text.toStdString();
    EXPECT_TRUE(boxes[1].text.contains(QLatin1String(cause.valueName)));
    EXPECT_TRUE(boxes[1].text.contains(LoadResString(cause.reasonId)));
    EXPECT_EQ(machine_.ReadFile(cause.file), before) << "the registry file changed";
    if (cause.userValue) {
        EXPECT_EQ(machine_.ReadFile("user.reg"), userBefore) << "a failed save is never saved by halves";
    }

    Mend();
    Tick(cause);
    EXPECT_EQ(Leave({Yes}).size(), 1u) << "a save that succeeds shows only the question";
    const std::string key = cause.reasonId == 1104 ? kUpdate : kExplorer;
    const win::HKEY root = cause.reasonId == 1104 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    EXPECT_EQ(StoredDword(root, key, cause.valueName), 1u);
}

INSTANTIATE_TEST_SUITE_P(Causes, FailedSave, ::testing::ValuesIn(kCauses),
                         [](const auto &test) { return std::string(test.param.name); });

TEST_F(PageTest, AFailedApplyWarnsOnceKeepsTheInputAndOffersItAgainOnLeaving)
{
    const std::string damaged = "not a registry file\n";
    machine_.WriteFile("userdef.reg", damaged);
    Page &page = Open("Short");
    auto &chkns = Control<QCheckBox>(page, "chkns");
    auto &chkni = Control<QCheckBox>(page, "chkni");
    auto &txtShortCut = Control<QLineEdit>(page, "txtShortCut");
    chkns.click();
    Type(txtShortCut, QStringLiteral("Copy of"));
    chkni.click();

    const Boxes boxes = Click("btnApply", {Ok});
    ASSERT_EQ(boxes.size(), 1u) << "one warning for the one profile that was not saved";
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("HKEY_USERS\\.DEFAULT")));
    EXPECT_EQ(machine_.ReadFile("userdef.reg"), damaged);
    EXPECT_EQ(Stored(HKEY_CLASSES_ROOT, "lnkfile", "IsShortCut"), std::nullopt) << "nothing of a failed apply lands";
    EXPECT_FALSE(chkns.isChecked());
    EXPECT_FALSE(chkni.isChecked());
    EXPECT_EQ(txtShortCut.text(), QStringLiteral("Copy of"));
    // What was not written is still a change: leaving offers to save it.
    EXPECT_EQ(Texts(Leave({No})), QStringList{"Save Changes ?"});

    // Moved away, the damaged file is made afresh by the next attempt.
    fs::remove(machine_.PathOf("userdef.reg"));
    Open("Short");
    Current<QCheckBox>("chkns").click();
    Type(Current<QLineEdit>("txtShortCut"), QStringLiteral("Copy of"));
    EXPECT_TRUE(Click("btnApply").empty());
    const auto stored = Stored(HKEY_USERS, std::string(".DEFAULT\\") + kUserExplorer, "link");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->data, QByteArray("Copy of "));
    EXPECT_TRUE(Leave().empty()) << "a save that worked leaves nothing to ask about";
}

} // namespace
