// What Korvex does with the machine at start: a new folder becomes a Windows 98 machine, and a
// machine that cannot be changed is explained once.
#include "MachineCheck.h"
#include "MessageBoxes.h"
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "machine.h"

#include <QFile>
#include <gtest/gtest.h>

namespace
{

class MachineCheck : public ::testing::Test
{
protected:
    void SetUp() override { env_.SetLanguage("en_US.UTF-8"); }
    ScopedEnv env_;
};

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
    TempMachine machine;
    {
        MessageBoxAnswerer none;
        ReportMachineProblems(nullptr);
        EXPECT_TRUE(none.Seen().empty());
    }
    machine.WriteFile("user.reg", "not a registry\n");
    machine.WriteFile("userdef.reg", "neither\n");
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Enter()});
    ReportMachineProblems(nullptr);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    const QString text = boxes.Seen()[0].text;
    EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Korvex"));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine.PathOf("user.reg"))));
    EXPECT_TRUE(text.contains(QString::fromStdString(machine.PathOf("userdef.reg"))));
    EXPECT_FALSE(text.contains(QString::fromStdString(machine.PathOf("system.reg"))));

    env_.Set("LANG", "ru_RU.UTF-8");
    EXPECT_TRUE(MachineProblems().contains(QStringLiteral("Korvex сейчас не может")));
}

} // namespace
