// The logon message page used as a user uses it: what it shows for what is stored, what the
// save question writes or deletes, its OK button, and where the values live on NT and on 9x.
#include "PageTest.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTreeWidget>

namespace
{

constexpr const char *kNtWinlogon = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char *k9xWinlogon = "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon";

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
    static QCheckBox &chkYN() { return Control<QCheckBox>(*MdlStart::CurrentPage, "chkYN"); }
    static QLineEdit &txtTitle() { return Control<QLineEdit>(*MdlStart::CurrentPage, "txtTitle"); }
    static QPlainTextEdit &txtText() { return Control<QPlainTextEdit>(*MdlStart::CurrentPage, "txtText"); }
};

TEST_F(LogonMessage, WithoutACaptionOpensOffAndTickingWritesTheDefaultTitle)
{
    Store("LegalNoticeText", "A text alone does not switch the message on");
    Page &page = Open("StartUp");
    EXPECT_EQ(page.objectName(), QStringLiteral("frmStartUp"));
    EXPECT_EQ(chkYN().text(), QStringLiteral("Show Message on Windows Start"));
    EXPECT_EQ(Control<QLabel>(page, "lblHelp").text(),
              QStringLiteral("If you check this option, then you can see message before LogOn Windows.\r\n"
                             "(Family logon only)\r\n"));
    EXPECT_FALSE(chkYN().isChecked());
    EXPECT_FALSE(txtTitle().isEnabled() || txtText().isEnabled());
    EXPECT_EQ(txtTitle().text(), QStringLiteral("Windows"));
    EXPECT_EQ(txtText().toPlainText(), QString());

    chkYN().click();
    EXPECT_TRUE(txtTitle().isEnabled() && txtText().isEnabled());
    const Boxes boxes = Leave({Yes});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Save Changes ?"));
    EXPECT_EQ(Message("LegalNoticeCaption"), "Windows");
    EXPECT_EQ(Message("LegalNoticeText"), "");
}

TEST_F(LogonMessage, ACaptionWithoutTextOpensOnAndClosingUntouchedAsksNothing)
{
    Store("LegalNoticeCaption", "Внимание");
    Open("StartUp");
    EXPECT_TRUE(chkYN().isChecked());
    EXPECT_TRUE(txtTitle().isEnabled() && txtText().isEnabled());
    EXPECT_EQ(txtTitle().text(), QStringLiteral("Внимание"));
    EXPECT_EQ(txtText().toPlainText(), QString());
    EXPECT_TRUE(Leave().empty());
    EXPECT_FALSE(Message("LegalNoticeText")) << "nothing was written";
}

TEST_F(LogonMessage, UntickingAndYesDeletesBothValues)
{
    Store("LegalNoticeCaption", "Notice");
    Store("LegalNoticeText", "Authorised users only");
    Open("StartUp");
    EXPECT_EQ(txtText().toPlainText(), QStringLiteral("Authorised users only"));
    chkYN().click();
    EXPECT_FALSE(txtTitle().isEnabled() || txtText().isEnabled());
    EXPECT_EQ(txtTitle().text(), QStringLiteral("Notice")) << "the texts stay";
    EXPECT_EQ(Leave({Yes}).size(), 1u);
    EXPECT_FALSE(Message("LegalNoticeCaption"));
    EXPECT_FALSE(Message("LegalNoticeText"));
}

TEST_F(LogonMessage, TypingTheOldTextBackStillAsksAndNoKeepsTheValues)
{
    Store("LegalNoticeCaption", "Notice");
    Store("LegalNoticeText", "Text");
    for (const char *box : {"txtTitle", "txtText"}) {
        auto &control = Control<QWidget>(Open("StartUp"), box);
        Type(control, QStringLiteral("x"));
        Press(control, Qt::Key_Backspace);
        EXPECT_EQ(Leave({No}).size(), 1u) << box;
    }
    EXPECT_EQ(Message("LegalNoticeCaption"), "Notice");
    EXPECT_EQ(Message("LegalNoticeText"), "Text");
}

TEST_F(LogonMessage, EveryLineBreakIsStoredAsWindowsWritesIt)
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
}

TEST_F(LogonMessage, OkHandsOverToAboutAskingOnlyWhenChanged)
{
    Open("StartUp");
    QTreeWidgetItem *node = MdlStart::TreeWindow()->ItemOf(QStringLiteral("StartUp"));
    MdlStart::TreeWindow()->Tree()->setCurrentItem(node);
    EXPECT_TRUE(Click("cmdOk").empty());
    EXPECT_EQ(MdlStart::CurrentPage->objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(MdlStart::TreeWindow()->Tree()->currentItem(), node) << "the tree keeps its selection";

    Open("StartUp");
    chkYN().click();
    EXPECT_EQ(Click("cmdOk", {Yes}).size(), 1u);
    EXPECT_EQ(MdlStart::CurrentPage->objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(Message("LegalNoticeCaption"), "Windows");
}

TEST_F(LogonMessage, ValuesLiveUnderThePlatformsOwnKey)
{
    const struct {
        const char *version;
        const std::string &key;
        const std::string &otherKey;
    } platforms[] = {{"win7", kNtWinlogon, k9xWinlogon}, {"win98", k9xWinlogon, kNtWinlogon}};
    for (const auto &platform : platforms) {
        SCOPED_TRACE(platform.version);
        MdlStart::Shutdown();
        machine_.ReportWindowsVersion(platform.version);
        PutString(HKEY_LOCAL_MACHINE, platform.key, "LegalNoticeCaption", platform.version);
        Open("StartUp");
        EXPECT_EQ(txtTitle().text(), QLatin1String(platform.version));
        Type(txtText(), QLatin1String(platform.version));
        Leave({Yes});
        EXPECT_EQ(StoredString(HKEY_LOCAL_MACHINE, platform.key, "LegalNoticeText"), platform.version);
        EXPECT_NE(StoredString(HKEY_LOCAL_MACHINE, platform.otherKey, "LegalNoticeText"), platform.version);
    }
}

} // namespace
