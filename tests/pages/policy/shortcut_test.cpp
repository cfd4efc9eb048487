// The shortcut appearance page used as a user uses it: how it reads the stored text and arrow,
// what Apply and the save question write, and that an unedited text survives saving unchanged.
#include "PageTest.h"

namespace
{

constexpr const char *kUserExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr const char *kDefaultExplorer = ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr char kNoTextBytes[4] = {};
QByteArray NoText()
{
    return QByteArray(kNoTextBytes, 4);
}

class ShortcutPage : public PageTest
{
protected:
    static void StoreLink(const QByteArray &bytes)
    {
        Put(HKEY_CURRENT_USER, kUserExplorer, "link", REG_BINARY, bytes.constData(),
            static_cast<win::DWORD>(bytes.size()));
    }
    static void ShowArrow(const char *shortcutClass) { PutString(HKEY_CLASSES_ROOT, shortcutClass, "IsShortCut", ""); }

    // "link" of the user's and of the default profile: its bytes when REG_BINARY.
    static std::optional<QByteArray> Link(win::HKEY root)
    {
        const auto stored = Stored(root, root == HKEY_USERS ? kDefaultExplorer : kUserExplorer, "link");
        if (!stored || stored->type != REG_BINARY)
            return std::nullopt;
        return stored->data;
    }
    static void ExpectLink(const QByteArray &bytes)
    {
        EXPECT_EQ(Link(HKEY_CURRENT_USER), bytes) << "user";
        EXPECT_EQ(Link(HKEY_USERS), bytes) << "default profile";
    }
    // Whether both shortcut classes carry the empty "IsShortCut" (true), or neither (false).
    static void ExpectArrow(bool shown)
    {
        for (const char *shortcutClass : {"lnkfile", "piffile"})
            EXPECT_EQ(StoredString(HKEY_CLASSES_ROOT, shortcutClass, "IsShortCut"),
                      shown ? std::optional<std::string>("") : std::nullopt)
                << shortcutClass;
    }

    static QCheckBox &chkns() { return Current<QCheckBox>("chkns"); }
    static QCheckBox &chkni() { return Current<QCheckBox>("chkni"); }
    static QLineEdit &txtShortCut() { return Current<QLineEdit>("txtShortCut"); }
};

TEST_F(ShortcutPage, NoValueZeroBytesOrAnEmptyValueMeanNoTextAndAnythingElseIsText)
{
    // Neither a link nor an arrow: both boxes ticked, and closing writes nothing.
    Open("Short");
    EXPECT_TRUE(chkns().isChecked() && chkni().isChecked());
    EXPECT_FALSE(txtShortCut().isEnabled());
    EXPECT_TRUE(Leave().empty());
    EXPECT_FALSE(Link(HKEY_CURRENT_USER) || Link(HKEY_USERS));

    const struct {
        QByteArray stored;
        bool noText;
        QString shown;
    } cases[] = {
        {NoText(), true, QString()}, // the zeros that mean no text are not put in the box
        {QByteArray(), true, QString()},
        {QByteArray(5, '\0'), true, QString()},
        {QByteArray(6, '\0'), false, QString(5, QChar(0))},
        {QByteArray("Link to  "), false, QStringLiteral("Link to ")},
        {QByteArray("no space"), false, QStringLiteral("no space")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored.toHex(' ').toStdString());
        StoreLink(c.stored);
        Open("Short");
        EXPECT_EQ(chkns().isChecked(), c.noText);
        EXPECT_EQ(txtShortCut().isEnabled(), !c.noText);
        EXPECT_EQ(txtShortCut().text(), c.shown);
        EXPECT_TRUE(Leave().empty());
    }
    // Unticking "no text" after the zeros stores an empty text, not the zeros.
    StoreLink(NoText());
    Open("Short");
    chkns().click();
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    ExpectLink(" ");
}

TEST_F(ShortcutPage, TypedTextStaysShortEnoughToBeReadBackAndALongerStoredOneIsKeptWhole)
{
    Open("Short");
    chkns().click();
    txtShortCut().setText(QString(400, QChar(0x44F))); // two bytes each in UTF-8
    EXPECT_EQ(txtShortCut().text().size(), 255);
    Leave({Yes});
    Open("Short");
    EXPECT_FALSE(chkns().isChecked()) << "a saved text must load as text";
    EXPECT_EQ(txtShortCut().text(), QString(255, QChar(0x44F)));
    Leave();

    // Another tool stored more than the box lets a user type: a save leaves it as it was.
    const QByteArray longLink = QByteArray(300, 'x') + ' ';
    StoreLink(longLink);
    Open("Short");
    EXPECT_EQ(txtShortCut().text(), QString(300, QLatin1Char('x')));
    chkni().click();
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    ExpectLink(longLink);
}

TEST_F(ShortcutPage, AnArrowOnThePifClassShowsAndYesSavesItOnBothClassesOrRemovesItFromBoth)
{
    ShowArrow("piffile");
    StoreLink("Link to  ");
    Open("Short");
    EXPECT_FALSE(chkni().isChecked()) << "an arrow on either class shows";
    chkni().click();
    chkni().click(); // back as loaded, but still a change
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    ExpectArrow(true);
    ExpectLink("Link to  ");

    Open("Short");
    chkni().click();
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    ExpectArrow(false);
}

TEST_F(ShortcutPage, ApplyWritesWithoutAQuestionAndDeleteTextKeepsTheTypedText)
{
    Open("Short");
    chkni().click(); // shows the arrow
    chkns().click();
    Type(txtShortCut(), QStringLiteral("Copy of"));
    chkns().click();
    EXPECT_FALSE(txtShortCut().isEnabled());
    EXPECT_EQ(txtShortCut().text(), QStringLiteral("Copy of"));
    EXPECT_TRUE(Click("btnApply").empty());
    ExpectArrow(true);
    ExpectLink(NoText());
    chkns().click(); // an edit after Apply asks again
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    ExpectLink("Copy of ");

    Open("Short");
    txtShortCut().clear();
    EXPECT_TRUE(Click("btnApply").empty());
    ExpectLink(" "); // an empty text is the single space
    EXPECT_TRUE(Leave().empty()) << "Apply left the page unchanged";
}

TEST_F(ShortcutPage, AnUneditedTextKeepsItsLengthThroughEverySave)
{
    const QString text = QStringLiteral("Ярлык для ");
    const QByteArray stored = text.toUtf8() + ' ';
    StoreLink(stored);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Open("Short");
        EXPECT_EQ(txtShortCut().text(), text);
        Click("btnApply");
        ExpectLink(stored);
        // Edited and typed back: the question comes, and the same bytes are written.
        Press(txtShortCut(), Qt::Key_Backspace);
        Type(txtShortCut(), QStringLiteral(" "));
        EXPECT_EQ(Leave({Yes}).size(), 1u);
        ExpectLink(stored);
    }
}

} // namespace
