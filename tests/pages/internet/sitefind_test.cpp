// The browser's address templates page used as a user uses it: what it lists for what is
// stored, the two forms Add makes, Delete, and what closing the page leaves in the registry.
#include "PageTest.h"

#include <map>

namespace
{

constexpr auto kKey = "Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate";

class SiteFind : public PageTest
{
protected:
    void PutTemplate(int number, const std::string &text)
    {
        PutString(HKEY_LOCAL_MACHINE, kKey, std::to_string(number).c_str(), text);
    }
    // Every numbered value stored, up to beyond the highest number the page uses.
    static std::map<int, std::string> StoredTemplates()
    {
        std::map<int, std::string> stored;
        for (int number = 1; number <= 300; ++number) {
            if (auto text = StoredString(HKEY_LOCAL_MACHINE, kKey, std::to_string(number).c_str()))
                stored[number] = *text;
        }
        return stored;
    }
    static void AddTemplate(Page &page, bool www, const QString &domain)
    {
        Control<QCheckBox>(page, "chkwww").setChecked(www);
        Control<QLineEdit>(page, "txtDomen").setText(domain);
        Control<QPushButton>(page, "cmdadd").click();
    }
};

TEST_F(SiteFind, AddMakesBothFormsOnceAfterTheSeedsTemplatesAndSavesThemNumberedInOrder)
{
    UseSeed();
    std::map<int, std::string> expected = StoredTemplates();
    Page &seeded = Open("ieSF");
    EXPECT_EQ(Rows("slst"), (QStringList{"www.%s.com", "www.%s.org", "www.%s.net", "www.%s.edu"}));
    AddTemplate(seeded, true, "com"); // a duplicate alone changes nothing
    EXPECT_TRUE(Leave().empty());

    Page &page = Open("ieSF");
    AddTemplate(page, true, "ru");
    AddTemplate(page, false, "org");
    AddTemplate(page, false, "");
    AddTemplate(page, true, "");
    // A duplicate adds nothing, and does not undo the changes before it.
    AddTemplate(page, true, "ru");
    EXPECT_EQ(Texts(Leave({Yes})), QStringList{"Save Changes ?"});
    expected.insert({{5, "www.%s.ru"}, {6, "%s.org"}, {7, "%s."}, {8, "www.%s."}});
    EXPECT_EQ(StoredTemplates(), expected);
}

TEST_F(SiteFind, SavingRenumbersAndLeavesNoDeletedTemplateBehindAGap)
{
    for (int number : {1, 2, 3, 5})
        PutTemplate(number, "t" + std::to_string(number));
    PutTemplate(255, "beyond the page's numbers");
    Page &page = Open("ieSF");
    EXPECT_EQ(Rows("slst"), (QStringList{"t1", "t2", "t3", "t5"}));
    // Delete before any click removes the first entry; after a click, the clicked one.
    Control<QPushButton>(page, "cmdDel").click();
    Control<QListWidget>(page, "slst").setCurrentRow(2);
    Control<QPushButton>(page, "cmdDel").click();
    EXPECT_EQ(Rows("slst"), (QStringList{"t2", "t3"}));
    Leave({Yes});
    EXPECT_EQ(StoredTemplates(),
              (std::map<int, std::string>{{1, "t2"}, {2, "t3"}, {255, "beyond the page's numbers"}}));
}

TEST_F(SiteFind, TheListStopsAtTheHighestNumberSoNothingStoredIsLost)
{
    for (int number = 1; number <= 254; ++number)
        PutTemplate(number, "%s.d" + std::to_string(number));
    Page &page = Open("ieSF");
    auto &cmdadd = Control<QPushButton>(page, "cmdadd");
    EXPECT_FALSE(cmdadd.isEnabled());
    // Room again after a delete, and one more add fills it.
    Control<QPushButton>(page, "cmdDel").click();
    EXPECT_TRUE(cmdadd.isEnabled());
    AddTemplate(page, false, "new");
    EXPECT_FALSE(cmdadd.isEnabled());
    Leave({Yes});
    // The first one deleted, the others moved up by one, the new one last.
    std::map<int, std::string> expected{{254, "%s.new"}};
    for (int number = 1; number < 254; ++number)
        expected[number] = "%s.d" + std::to_string(number + 1);
    EXPECT_EQ(StoredTemplates(), expected);
}

} // namespace
