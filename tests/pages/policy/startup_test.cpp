// The logon message page used as a user uses it: what it shows for what is stored, what the
// save question writes or deletes. (The Windows 9x key, and OK saving a change and showing
// About, are driven end to end.)
#include "PageTest.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace
{

constexpr const char *kNtWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

class LogonMessage : public PageTest
{
protected:
    static void Store(const char *name, const std::string &text)
    {
        PutString(HKEY_LOCAL_MACHINE, kNtWinlogon, name, text);
    }
    static std::optional<std::string> Message(const char *name)
    {
        return StoredString(HKEY_LOCAL_MACHINE, kNtWinlogon, name);
    }
    static QCheckBox &chkYN() { return Current<QCheckBox>("chkYN"); }
    static QLineEdit &txtTitle() { return Current<QLineEdit>("txtTitle"); }
    static QPlainTextEdit &txtText() { return Current<QPlainTextEdit>("txtText"); }
};

TEST_F(LogonMessage, WithoutACaptionTickingWritesTheDefaultTitle)
{
    Store("LegalNoticeText", "A text alone does not switch the message on");
    Open("StartUp");
    EXPECT_FALSE(chkYN().isChecked());
    EXPECT_FALSE(txtTitle().isEnabled() || txtText().isEnabled());
    EXPECT_EQ(txtTitle().text(), QStringLiteral("Windows"));
    EXPECT_EQ(txtText().toPlainText(), QString());

    chkYN().click();
    EXPECT_TRUE(txtTitle().isEnabled() && txtText().isEnabled());
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    EXPECT_EQ(Message("LegalNoticeCaption"), "Windows");
    EXPECT_EQ(Message("LegalNoticeText"), "");
}

TEST_F(LogonMessage, ACaptionOpensOnAndOnlyAnEditAsksEvenWhenTypedBack)
{
    Store("LegalNoticeCaption", "Внимание");
    const std::string before = Hives();
    Open("StartUp");
    EXPECT_TRUE(chkYN().isChecked());
    EXPECT_EQ(txtText().toPlainText(), QString());
    EXPECT_TRUE(Leave().empty());

    for (const char *box : {"txtTitle", "txtText"}) {
        auto &control = Control<QWidget>(Open("StartUp"), box);
        Type(control, QStringLiteral("x"));
        Press(control, Qt::Key_Backspace);
        EXPECT_EQ(Leave({No}).size(), 1u) << box;
    }
    EXPECT_EQ(Hives(), before) << "nothing was written";
}

TEST_F(LogonMessage, EveryLineBreakIsStoredAsWindowsWritesItAndUntickingDeletesBothValues)
{
    Store("LegalNoticeCaption", "Notice");
    Store("LegalNoticeText", "First\r\nSecond\u00a0line");
    Open("StartUp");
    EXPECT_EQ(txtText().document()->blockCount(), 2);
    Type(txtTitle(), QStringLiteral("!"));
    Leave({Yes});
    EXPECT_EQ(Message("LegalNoticeCaption"), "Notice!");
    EXPECT_EQ(Message("LegalNoticeText"), "First\r\nSecond\u00a0line") << "the unedited text is written as stored";

    // Enter starts a paragraph, Shift+Enter a line within it: Windows knows only CR LF.
    Open("StartUp");
    txtText().clear();
    Type(txtText(), QStringLiteral("One\nTwo"));
    Press(txtText(), Qt::Key_Return, QString(), Qt::ShiftModifier);
    Type(txtText(), QStringLiteral("Three"));
    ASSERT_TRUE(txtText().document()->toRawText().contains(QChar::LineSeparator));
    Leave({Yes});
    EXPECT_EQ(Message("LegalNoticeText"), "One\r\nTwo\r\nThree");

    // Unticked, the texts stay in the boxes, and Yes deletes both values.
    Open("StartUp");
    chkYN().click();
    EXPECT_FALSE(txtTitle().isEnabled() || txtText().isEnabled());
    EXPECT_EQ(txtTitle().text(), QStringLiteral("Notice!"));
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    EXPECT_FALSE(Message("LegalNoticeCaption"));
    EXPECT_FALSE(Message("LegalNoticeText"));
}

} // namespace
