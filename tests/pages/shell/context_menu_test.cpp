// The context menu editor: which item base it lists and writes under, and that Add, Edit and
// Delete change exactly the item meant and nothing above it, whatever blanks, quotes and letters
// beyond ASCII its name holds. (Adding for all files is driven end to end.)
#include "PageTest.h"

namespace
{

class ContextMenuPage : public PageTest
{
protected:
    void PutItem(const std::string &base, const std::string &name, const char *caption, const char *command)
    {
        PutString(HKEY_CLASSES_ROOT, base + "\\" + name, "", caption);
        PutString(HKEY_CLASSES_ROOT, base + "\\" + name + "\\command", "", command);
    }
    static bool KeyExists(const std::string &key)
    {
        win::HKEY handle = nullptr;
        const bool exists = win::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) == ERROR_SUCCESS;
        win::RegCloseKey(handle);
        return exists;
    }
    static void Fill(Page &page, const QString &name, const QString &caption, const QString &command)
    {
        Control<QLineEdit>(page, "txtCaption").setText(name);
        Control<QLineEdit>(page, "txtSub").setText(caption);
        Control<QLineEdit>(page, "txtCmd").setText(command);
    }
    // One-file-type mode, the extension typed and looked up.
    static void FindType(Page &page, const QString &extension)
    {
        Control<QRadioButton>(page, "OptOF").click();
        Control<QLineEdit>(page, "txtExt").setText(extension);
        Control<QPushButton>(page, "cmdfind").click();
    }
};

constexpr auto kAll = "*\\Shell";

struct BaseCase {
    const char *extension;
    const char *typeName; // the default value of the extension's key; null for none
    const char *base;     // where the item is written
};

TEST_F(ContextMenuPage, FindWritesUnderTheBaseOfTheExtension)
{
    const BaseCase cases[] = {
        {"txt", "txtfile", "txtfile\\Shell"}, {"new", "", ".new\\Shell"},         {"none", nullptr, ".none\\Shell"},
        {".txt", nullptr, "..txt\\Shell"},    {"a.b", "abfile", "abfile\\Shell"},
    };
    for (const BaseCase &c : cases) {
        const std::string extensionKey = std::string(".") + c.extension;
        if (c.typeName)
            PutString(HKEY_CLASSES_ROOT, extensionKey, "", c.typeName);
        Page &page = Open("MenuItem");
        FindType(page, QString::fromUtf8(c.extension));
        // An unregistered base lists nothing, and Add still creates it.
        EXPECT_FALSE(Control<QListWidget>(page, "lstMenu").isEnabled()) << c.extension;
        Fill(page, QStringLiteral("x"), QStringLiteral("X"), QStringLiteral("x.exe"));
        Click("cmdadd", {Yes});
        EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, std::string(c.base) + "\\x", ""), "X") << c.extension;
        EXPECT_EQ(Rows("lstMenu"), QStringList{QStringLiteral("x")}) << c.extension;
        Leave();
    }
}

TEST_F(ContextMenuPage, AVerbWithoutACommandShowsNoneAndTypingDisablesTheButtonsUntilFind)
{
    PutString(HKEY_CLASSES_ROOT, "txtfile\\shell\\bare", "", "No command");
    PutString(HKEY_CLASSES_ROOT, ".txt", "", "txtfile");
    Page &page = Open("MenuItem");
    FindType(page, QStringLiteral("txt"));
    Control<QListWidget>(page, "lstMenu").setCurrentRow(0);
    EXPECT_EQ(Control<QLineEdit>(page, "txtSub").text(), QStringLiteral("No command"));
    EXPECT_EQ(Control<QLineEdit>(page, "txtCmd").text(), QString());
    EXPECT_TRUE(Control<QPushButton>(page, "cmdadd").isEnabled());
    Control<QLineEdit>(page, "txtExt").setText(QStringLiteral("doc"));
    for (const char *button : {"cmdadd", "cmdEdit", "cmdDel"})
        EXPECT_FALSE(Control<QPushButton>(page, button).isEnabled()) << button;
}

TEST_F(ContextMenuPage, EditRewritesInPlaceOrMovesTheItem)
{
    const std::string item = std::string(kAll) + "\\open";
    struct EditCase {
        const char *newName;
        const char *keptKey; // where the item is afterwards
        bool oldRemoved;
    };
    const EditCase cases[] = {{"open", "open", false}, {"view", "view", true}, {"Open", "Open", true}};
    for (const EditCase &c : cases) {
        PutItem(kAll, "open", "Open", "old.exe");
        PutString(HKEY_CLASSES_ROOT, item + "\\ddeexec", "", "kept unless moved");
        Page &page = Open("MenuItem");
        // Edit before any click acts on the first entry.
        Fill(page, QString::fromUtf8(c.newName), QStringLiteral("New"), QStringLiteral("new.exe"));
        EXPECT_EQ(Click("cmdEdit", {Yes}).size(), 1u) << c.newName;
        const std::string kept = std::string(kAll) + "\\" + c.keptKey;
        EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, kept, ""), "New") << c.newName;
        EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, kept + "\\command", ""), "new.exe") << c.newName;
        EXPECT_EQ(KeyExists(item + "\\ddeexec"), !c.oldRemoved) << c.newName;
        EXPECT_EQ(Rows("lstMenu"), QStringList{QString::fromUtf8(c.newName)}) << c.newName;
        Leave();
        win::RegDeleteKeyA(HKEY_CLASSES_ROOT, kAll);
    }
}

TEST_F(ContextMenuPage, AnEmptyNameIsRefusedAndDeleteRemovesTheClickedItemAndAStaleIndexNothing)
{
    PutItem(kAll, "a", "A", "a.exe");
    PutItem(kAll, "b", "B", "b.exe");
    Page &page = Open("MenuItem");
    for (const char *button : {"cmdadd", "cmdEdit"}) {
        Fill(page, QString(), QStringLiteral("C"), QStringLiteral("c.exe"));
        EXPECT_EQ(Texts(Click(button, {Ok})), QStringList{"Incorrect Name"}) << button;
    }
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, std::string(kAll) + "\\a", ""), "A");

    Control<QListWidget>(page, "lstMenu").setCurrentRow(1);
    EXPECT_EQ(Click("cmdDel", {No}).size(), 1u);
    EXPECT_TRUE(KeyExists(std::string(kAll) + "\\b"));
    EXPECT_EQ(Click("cmdDel", {Yes}).size(), 1u);
    EXPECT_FALSE(KeyExists(std::string(kAll) + "\\b"));
    EXPECT_EQ(Rows("lstMenu"), QStringList{QStringLiteral("a")});

    // The clicked row is gone: Delete and Edit neither ask nor touch the base or the other item.
    Fill(page, QStringLiteral("c"), QStringLiteral("C"), QStringLiteral("c.exe"));
    EXPECT_TRUE(Click("cmdDel", {Yes}).empty());
    EXPECT_TRUE(Click("cmdEdit", {Yes}).empty());
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, std::string(kAll) + "\\a\\command", ""), "a.exe");
    EXPECT_FALSE(KeyExists(std::string(kAll) + "\\c"));

    // With an empty list both do nothing at all.
    Control<QListWidget>(page, "lstMenu").setCurrentRow(0);
    Click("cmdDel", {Yes});
    EXPECT_TRUE(KeyExists(kAll));
    EXPECT_TRUE(Click("cmdDel", {Yes}).empty());

    // A name of one letter is accepted.
    Fill(page, QStringLiteral("z"), QStringLiteral("Z"), QStringLiteral("z.exe"));
    EXPECT_EQ(Click("cmdadd", {Yes}).size(), 1u);
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, std::string(kAll) + "\\z", ""), "Z");
}

// On a machine with a 32-bit view (a Wow6432Node key) the items of both views are listed; Edit
// and Delete stay in the view of the clicked item, Add writes to both.
TEST_F(ContextMenuPage, ItemsOfBothViewsAreListedAndEachChangedInItsOwn)
{
    const std::string bit32 = std::string("Wow6432Node\\") + kAll;
    PutString(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node", "", "");
    PutItem(kAll, "a", "A", "a.exe");
    PutItem(bit32, "x", "X", "x.exe");
    Page &page = Open("MenuItem");
    EXPECT_EQ(Rows("lstMenu"), (QStringList{"a", "x"}));

    Control<QListWidget>(page, "lstMenu").setCurrentRow(1);
    EXPECT_EQ(Control<QLineEdit>(page, "txtCmd").text(), "x.exe");
    Fill(page, QStringLiteral("y"), QStringLiteral("Y"), QStringLiteral("y.exe"));
    Click("cmdEdit", {Yes});
    EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, bit32 + "\\y\\command", ""), "y.exe");
    EXPECT_FALSE(KeyExists(bit32 + "\\x") || KeyExists(std::string(kAll) + "\\y"));

    Control<QListWidget>(page, "lstMenu").setCurrentRow(0);
    Click("cmdDel", {Yes});
    EXPECT_FALSE(KeyExists(std::string(kAll) + "\\a"));
    EXPECT_TRUE(KeyExists(bit32 + "\\y"));

    Fill(page, QStringLiteral("Öffne & \"sieh\""), QStringLiteral("N"), QStringLiteral("n.exe \"%1\""));
    Click("cmdadd", {Yes});
    for (const std::string &base : {std::string(kAll), bit32})
        EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, base + "\\Öffne & \"sieh\"\\command", ""), "n.exe \"%1\"") << base;
}

} // namespace
