// The clock text page: which position and texts it loads, and what Apply writes to the regional
// settings.
#include "PageTest.h"

namespace
{

constexpr auto kInternational = "Control Panel\\International";

class ClockPage : public PageTest
{
protected:
    static void PutInternational(const char *name, const char *text)
    {
        PutString(HKEY_CURRENT_USER, kInternational, name, text);
    }
    static std::optional<std::string> StoredInternational(const char *name)
    {
        return StoredString(HKEY_CURRENT_USER, kInternational, name);
    }
};

TEST_F(ClockPage, StoredFormatSelectsThePositionByTheLowerCaseDesignator)
{
    const std::pair<const char *, const char *> cases[] = {
        {"h:mm:ss tt", "optR"},  {"tt h:mm:ss", "optL"},  {"tt HH:mm:ss tt", "optS"},
        {"HH:mm:ss TT", "optR"}, {"TT HH:mm:ss", "optR"}, {"HH:mm:ss", "optR"},
    };
    for (const auto &[stored, selected] : cases) {
        PutInternational("sTimeFormat", stored);
        Page &page = Open("Clock");
        EXPECT_TRUE(Control<QRadioButton>(page, selected).isChecked()) << stored;
        EXPECT_FALSE(Control<QPushButton>(page, "cmdAP").isEnabled()) << stored;
        Leave();
    }
}

TEST_F(ClockPage, ApplyWritesTheTextsAsTypedAndTheFormatOfThePositionOnYesOnly)
{
    PutInternational("s1159", "AM");
    PutInternational("s2359", "PM");
    PutInternational("sTimeFormat", "tt h:mm:ss");
    const std::string before = Hives();
    Page &page = Open("Clock");
    // Quotes and a text longer than Windows' own designators are written as typed.
    Control<QLineEdit>(page, "txtAM").setText(QStringLiteral("\"morning\" 12"));
    Control<QRadioButton>(page, "optS").click();
    EXPECT_EQ(Click("cmdAP", {No}).size(), 1u);
    EXPECT_TRUE(Control<QPushButton>(page, "cmdAP").isEnabled());
    EXPECT_EQ(Hives(), before);

    EXPECT_EQ(Click("cmdAP", {Yes}).size(), 1u);
    EXPECT_EQ(StoredInternational("s1159"), "\"morning\" 12");
    EXPECT_EQ(StoredInternational("s2359"), "PM");
    EXPECT_EQ(StoredInternational("sTimeFormat"), "tt HH:mm:ss tt");
    EXPECT_TRUE(Control<QPushButton>(page, "cmdAP").isEnabled());
    EXPECT_TRUE(Leave({Yes}).empty()) << "leaving asks nothing";
}

TEST_F(ClockPage, MissingTextsLoadAsOneTextWhichIsCopiedToTheAfternoonAndKeptWhenUnticked)
{
    Open("Clock");
    EXPECT_TRUE(Current<QCheckBox>("chkOne").isChecked());
    EXPECT_FALSE(Current<QLineEdit>("txtPM").isEnabled());
    EXPECT_EQ(Current<QLineEdit>("txtAM").text(), QString());
    Leave();

    PutInternational("s1159", "AM");
    PutInternational("s2359", "PM");
    Page &page = Open("Clock");
    auto &afternoon = Control<QLineEdit>(page, "txtPM");
    Control<QCheckBox>(page, "chkOne").click();
    Type(Control<QLineEdit>(page, "txtAM"), QStringLiteral("!"));
    EXPECT_EQ(afternoon.text(), QStringLiteral("AM!"));
    EXPECT_FALSE(afternoon.isEnabled());
    Click("cmdAP", {Yes});
    EXPECT_EQ(StoredInternational("s2359"), "AM!");

    Control<QCheckBox>(page, "chkOne").click();
    EXPECT_TRUE(afternoon.isEnabled());
    EXPECT_EQ(afternoon.text(), QStringLiteral("AM!"));
}

} // namespace
