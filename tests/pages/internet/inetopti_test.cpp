// The TCP/IP tuning page used as a user uses it: the adapter's values and their defaults, the
// numeric fields, what Apply stores, and the lmhosts file kept line for line.
#include "PageTest.h"

#include <filesystem>
#include <sys/stat.h>

namespace
{

constexpr auto kNetTrans = "System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000";
constexpr auto kMstcp = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";
constexpr auto kHosts = "drive_c/windows/lmhosts";

class InetOpti : public PageTest
{
protected:
    // The Windows 98 machine Korvex seeds: one dial-up adapter bound to TCP/IP.
    void SetUp() override
    {
        PageTest::SetUp();
        UseSeed();
    }
    static QLineEdit &Field(Page &page, const char *name) { return Control<QLineEdit>(page, name); }
    static std::optional<std::string> Tcp(const char *name) { return StoredString(HKEY_LOCAL_MACHINE, kMstcp, name); }
    static std::optional<std::string> Binding(const char *name)
    {
        return StoredString(HKEY_LOCAL_MACHINE, kNetTrans, name);
    }
    void AddHost(Page &page, const QStringList &parts, const QString &name)
    {
        for (int i = 0; i < 4; ++i)
            Field(page, ("ip" + std::to_string(i + 1)).c_str()).setText(parts[i]);
        Field(page, "txtHost").setText(name);
        Click("cmdadd");
    }
};

TEST_F(InetOpti, TheSeedsAdapterShowsItsDefaultsAndTheMssFollowsTheMtu)
{
    Page &page = Open("Optim");
    EXPECT_EQ(Control<QComboBox>(page, "cbAdap").currentText(), QStringLiteral("0000 - Dial-Up Adapter"));
    // Missing values: the default texts of MTU and TTL are not numbers and empty themselves.
    EXPECT_EQ(Field(page, "txtMTU").text(), QString());
    EXPECT_EQ(Field(page, "txtMSS").text(), QStringLiteral("Default=1460"));
    EXPECT_EQ(Field(page, "txtTTL").text(), QString());

    Type(Field(page, "txtMTU"), QStringLiteral("14009"));
    EXPECT_EQ(Field(page, "txtMTU").text(), QStringLiteral("1400")) << "four characters at most";
    EXPECT_EQ(Field(page, "txtMSS").text(), QStringLiteral("1360"));
    Field(page, "txtMTU").setText(QStringLiteral("1e9"));
    Press(Field(page, "txtMTU"), Qt::Key_Backspace);
    EXPECT_EQ(Field(page, "txtMTU").text(), QStringLiteral("100000000")) << "a long number can be shortened";
    Field(page, "txtMTU").setText(QStringLiteral("15x0"));
    EXPECT_EQ(Field(page, "txtMTU").text(), QStringLiteral("15"));
    EXPECT_EQ(Field(page, "txtMSS").text(), QStringLiteral("-25"));
}

TEST_F(InetOpti, ApplyAsksThenStoresNumbersOnlyAndAlwaysTheReceiveWindow)
{
    PutString(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMSS", "536");
    PutString(HKEY_LOCAL_MACHINE, kMstcp, "DefaultTTL", "32");
    Page &page = Open("Optim");
    EXPECT_EQ(Field(page, "txtMSS").text(), QStringLiteral("536"));
    Field(page, "txtMTU").setText(QStringLiteral("576"));
    Field(page, "txtTTL").setText(QString());

    EXPECT_EQ(Texts(Click("cmdAP", {Yes})), QStringList{"Save Changes ?"}) << "the question only, no warning";
    EXPECT_EQ(Binding("MaxMTU"), "576");
    EXPECT_EQ(Binding("MaxMSS"), "536");
    EXPECT_EQ(Tcp("DefaultTTL"), "32") << "an empty field leaves the stored value";
    EXPECT_EQ(Tcp("DefaultRcvWindow"), "4288");

    // Neither a negative MSS nor a number too long for the registry is stored.
    Field(page, "txtMTU").setText(QStringLiteral("9e99"));
    EXPECT_EQ(Field(page, "txtMTU").text(), QStringLiteral("9E+99")) << "shown whole, not cut to a wrong number";
    Field(page, "txtMSS").setText(QStringLiteral("-40"));
    Field(page, "txtTTL").setText(QStringLiteral("&H40"));
    Click("cmdAP", {Yes});
    EXPECT_EQ(Binding("MaxMTU"), "576");
    EXPECT_EQ(Binding("MaxMSS"), "536");
    EXPECT_EQ(Tcp("DefaultTTL"), "64");
}

TEST_F(InetOpti, AddressPartsKeepNumbersOnlyAndAddNeedsAWholeAddress)
{
    Page &page = Open("Optim");
    QLineEdit &part = Field(page, "ip1");
    auto &cmdadd = Control<QPushButton>(page, "cmdadd");
    // What the part shows after typing, and whether the address can then be added.
    const std::tuple<const char *, const char *, bool> typed[] = {
        {"a", "", false},    {"0", "0", true}, {"007", "7", true},    {" 1 2", "12", true},
        {"-1", "-1", false}, {"", "", false},  {"999", "999", false},
    };
    for (const auto &[text, shown, addable] : typed) {
        part.setText(QLatin1String(text));
        EXPECT_EQ(part.text(), QLatin1String(shown)) << text;
        EXPECT_EQ(cmdadd.isEnabled(), addable) << text;
    }
    part.setText(QStringLiteral("10"));
    EXPECT_TRUE(cmdadd.isEnabled());
    Field(page, "txtHost").setText(QStringLiteral("  "));
    EXPECT_FALSE(cmdadd.isEnabled()) << "no host name";
}

TEST_F(InetOpti, TheHostFileKeepsEveryLineByteForByteAndGetsTheNewEntryLast)
{
    // LF ends, no final end, comments, #PRE and #DOM:, quotes, commas, tabs, a blank line, a
    // name that is not UTF-8.
    const std::string lines[] = {"# lmhosts, written by hand",
                                 "102.54.94.97\trhino\t#PRE #DOM:networking",
                                 "",
                                 "10.0.0.2 \"appname        \\0x14\" #PRE",
                                 "#INCLUDE \\\\localsrv\\public\\lmhosts",
                                 "10.0.0.3\tk\xf3rvex",
                                 "10.0.0.4 a,b"};
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    text.pop_back();
    machine_.WriteFile(kHosts, text);

    Page &page = Open("Optim");
    EXPECT_EQ(Rows("lslHosts").size(), 7);
    EXPECT_EQ(Rows("lslHosts")[6], QStringLiteral("10.0.0.4 a,b"));
    EXPECT_TRUE(Click("cmdDel").empty()) << "nothing selected: nothing asked";

    AddHost(page, {"192", "168", "0", "10"}, QStringLiteral("N"));
    std::string expected;
    for (const std::string &line : lines)
        expected += line + "\r\n";
    EXPECT_EQ(machine_.ReadFile(kHosts), expected + "192.168.0.10\tN\r\n");

    Control<QListWidget>(page, "lslHosts").setCurrentRow(0);
    Click("cmdDel", {Yes});
    EXPECT_EQ(machine_.ReadFile(kHosts), expected.substr(lines[0].size() + 2) + "192.168.0.10\tN\r\n");
}

TEST_F(InetOpti, AMissingHostFileIsMadeAndAReadOnlyOneIsLeftWithAWarningAndShownAsStored)
{
    std::filesystem::remove(machine_.PathOf(kHosts));
    Page &page = Open("Optim");
    EXPECT_TRUE(Rows("lslHosts").isEmpty());
    AddHost(page, {"10", "0", "0", "1"}, QStringLiteral("first"));
    EXPECT_EQ(machine_.ReadFile(kHosts), "10.0.0.1\tfirst\r\n");

    chmod(machine_.PathOf(kHosts).c_str(), 0444);
    Field(page, "txtHost").setText(QStringLiteral("second"));
    const Boxes boxes = Click("cmdadd", {Ok});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(machine_.ReadFile(kHosts), "10.0.0.1\tfirst\r\n");
    EXPECT_EQ(Rows("lslHosts").size(), 1) << "the list shows what the file holds, not the unsaved entry";
}

TEST_F(InetOpti, WithoutAdaptersOrABindingTheTuningIsDisabled)
{
    // An adapter without a TCP/IP binding: only the stack's own values can be applied, and no
    // binding is made up for it.
    ASSERT_EQ(win::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kNetTrans), ERROR_SUCCESS);
    Page &page = Open("Optim");
    EXPECT_FALSE(Field(page, "txtMTU").isEnabled());
    EXPECT_FALSE(Field(page, "txtMSS").isEnabled());
    Field(page, "txtTTL").setText(QStringLiteral("128"));
    Click("cmdAP", {Yes});
    EXPECT_EQ(Tcp("DefaultTTL"), "128");
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, kNetTrans, "MaxMSS"), std::nullopt);

    // An adapter key with no adapters in it, then none at all.
    for (const char *adapter : {"Enum\\Root\\Net\\0000", "Enum\\Root\\Net"}) {
        Leave();
        ASSERT_EQ(win::RegDeleteKeyA(HKEY_LOCAL_MACHINE, adapter), ERROR_SUCCESS) << adapter;
        Page &bare = Open("Optim");
        auto &cbAdap = Control<QComboBox>(bare, "cbAdap");
        EXPECT_FALSE(cbAdap.isEnabled()) << adapter;
        EXPECT_EQ(cbAdap.count(), 0) << adapter;
        EXPECT_FALSE(Control<QPushButton>(bare, "cmdAP").isEnabled()) << adapter;
    }
}

} // namespace
