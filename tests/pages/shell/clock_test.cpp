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

TEST_F(ClockPage, StoredFormatSelectsThePositionByTheLowerCaseDesignatorAndMissingTextsLoadAsOne)
{
    const std::pair<const char *, const char *> cases[] = {
        {"h:mm:ss tt", "optR"}, {"tt HH:mm:ss tt", "optS"}, {"tt h:mm:ss", "optL"}, {"TT HH:mm:ss", "optR"}};
    for (const auto &[stored, selected] : cases) {
        PutInternational("sTimeFormat", stored);
        Page &page = Open("Clock");
        EXPECT_TRUE(Control<QRadioButton>(page, selected).isChecked()) << stored;
        EXPECT_FALSE(Control<QPushButton>(page, "cmdAP").isEnabled()) << stored;
        // Missing texts load as one empty text.
        EXPECT_TRUE(Control<QCheckBox>(page, "chkOne").isChecked() && !Current<QLineEdit>("txtPM").isEnabled());
        EXPECT_EQ(Current<QLineEdit>("txtAM").text(), QString());
        Leave();
    }
}

TEST_F(ClockPage, ApplyWritesTheTextsAsTypedOneTextForBothAndTheFormatOfThePosition)
{
    PutInternational("s1159", "AM");
    PutInternational("s2359", "PM");
    PutInternational("sTimeFormat", "h:mm:ss tt");
    Page &page = Open("Clock");
    // Quotes and a text longer than Windows' own designators are written as typed; the position
    // loaded, though untouched, is written in its 24-hour form.
    Control<QLineEdit>(page, "txtAM").setText(QStringLiteral("\"morning\" 12"));
    EXPECT_EQ(Click("cmdAP", {Yes}).size(), 1u);
    EXPECT_EQ(StoredInternational("s1159"), "\"morning\" 12");
    EXPECT_EQ(StoredInternational("s2359"), "PM");
    EXPECT_EQ(StoredInternational("sTimeFormat"), "HH:mm:ss tt");
    EXPECT_TRUE(Control<QPushButton>(page, "cmdAP").isEnabled());

    // One text: the morning's is copied to the afternoon, and kept there when unticked again.
    auto &afternoon = Control<QLineEdit>(page, "txtPM");
    Control<QCheckBox>(page, "chkOne").click();
    Type(Control<QLineEdit>(page, "txtAM"), QStringLiteral("!"));
    EXPECT_EQ(afternoon.text(), QStringLiteral("\"morning\" 12!"));
    EXPECT_FALSE(afternoon.isEnabled());
    Control<QRadioButton>(page, "optS").click();
    Click("cmdAP", {Yes});
    EXPECT_EQ(StoredInternational("s2359"), "\"morning\" 12!");
    EXPECT_EQ(StoredInternational("sTimeFormat"), "tt HH:mm:ss tt");
    Control<QCheckBox>(page, "chkOne").click();
    EXPECT_TRUE(afternoon.isEnabled());
    EXPECT_EQ(afternoon.text(), QStringLiteral("\"morning\" 12!"));
    EXPECT_TRUE(Leave({Yes}).empty()) << "leaving asks nothing";
}

} // namespace
