// The logon message page used as a user uses it: what it shows for what is stored, what the
// save question writes or deletes, the OK button, and where the values live on NT and on 9x.
#include "Controls.h"
#include "MdlStart.h"
#include "MessageBoxes.h"
#include "Page.h"
#include "Reg.h"
#include "ScopedEnv.h"
#include "StoredValue.h"
#include "TempMachine.h"
#include "frmAbout.h"
#include "frmStartUp.h"
#include "frmTR.h"
#include "win32.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

namespace
{

constexpr QLatin1StringView kNtWinlogon("Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
constexpr QLatin1StringView k9xWinlogon("Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon");

// A REG_SZ as the registry holds it: the UTF-8 text and its terminating zero.
QByteArray Sz(const QString &text)
{
    return text.toUtf8() + '\0';
}

void ExpectString(const QString &path, const char *name, const QString &text)
{
    const std::optional<StoredValue> stored = ReadStoredValue(HKEY_LOCAL_MACHINE, path, name);
    ASSERT_TRUE(stored.has_value()) << name;
    EXPECT_EQ(stored->type, static_cast<win::DWORD>(REG_SZ)) << name;
    EXPECT_EQ(stored->data, Sz(text)) << name;
}

class LogonMessage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env_.SetLanguage("en_US.UTF-8");
        // What start-up decides for a new machine, which reports Windows 7.
        MdlStart::CurrentVersionKey = QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion");
    }
    void TearDown() override { MdlStart::Shutdown(); }

    static void Store(const char *name, const QString &text)
    {
        ASSERT_TRUE(Reg::SetString(HKEY_LOCAL_MACHINE, kNtWinlogon, QLatin1String(name), text));
    }

    ScopedEnv env_;
    TempMachine machine_;
};

TEST_F(LogonMessage, WithoutACaptionOpensOffAndTickingWritesTheDefaultTitle)
{
    Store("LegalNoticeText", QStringLiteral("A text alone does not switch the message on"));
    frmStartUp page;
    page.Load();
    EXPECT_EQ(page.objectName(), QStringLiteral("frmStartUp"));
    auto &chkYN = Control<QCheckBox>(page, "chkYN");
    auto &txtTitle = Control<QLineEdit>(page, "txtTitle");
    auto &txtText = Control<QPlainTextEdit>(page, "txtText");
    EXPECT_EQ(chkYN.text(), QStringLiteral("Show Message on Windows Start"));
    EXPECT_EQ(Control<QLabel>(page, "lblTitle").text(), QStringLiteral("Title"));
    EXPECT_EQ(Control<QLabel>(page, "lblText").text(), QStringLiteral("Message Text"));
    EXPECT_EQ(Control<QPushButton>(page, "cmdOk").text(), QStringLiteral("Ok"));
    EXPECT_EQ(Control<QLabel>(page, "lblHelp").text(),
              QStringLiteral("If you check this option, then you can see message before LogOn Windows.\r\n"
                             "(Family logon only)\r\n"));
    EXPECT_FALSE(chkYN.isChecked());
    EXPECT_FALSE(txtTitle.isEnabled());
    EXPECT_FALSE(txtText.isEnabled());
    EXPECT_EQ(txtTitle.text(), QStringLiteral("Windows"));
    EXPECT_EQ(txtText.toPlainText(), QString());

    chkYN.click();
    EXPECT_TRUE(txtTitle.isEnabled());
    EXPECT_TRUE(txtText.isEnabled());
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        page.Unload();
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].title, QStringLiteral("Saving..."));
        EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Save Changes ?"));
        EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Question);
        EXPECT_EQ(boxes.Seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    }
    ExpectString(kNtWinlogon, "LegalNoticeCaption", QStringLiteral("Windows"));
    ExpectString(kNtWinlogon, "LegalNoticeText", QString());
}

TEST_F(LogonMessage, ACaptionWithoutTextOpensOnWithAnEmptyTextAndClosingUntouchedAsksNothing)
{
    Store("LegalNoticeCaption", QStringLiteral("Внимание"));
    frmStartUp page;
    page.Load();
    EXPECT_TRUE(Control<QCheckBox>(page, "chkYN").isChecked());
    EXPECT_TRUE(Control<QLineEdit>(page, "txtTitle").isEnabled());
    EXPECT_EQ(Control<QLineEdit>(page, "txtTitle").text(), QStringLiteral("Внимание"));
    EXPECT_TRUE(Control<QPlainTextEdit>(page, "txtText").isEnabled());
    EXPECT_EQ(Control<QPlainTextEdit>(page, "txtText").toPlainText(), QString());

    MessageBoxAnswerer boxes;
    page.Unload();
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_FALSE(ReadStoredValue(HKEY_LOCAL_MACHINE, kNtWinlogon, "LegalNoticeText").has_value())
        << "nothing was written";
}

TEST_F(LogonMessage, UntickingAndYesDeletesBothValues)
{
    Store("LegalNoticeCaption", QStringLiteral("Notice"));
    Store("LegalNoticeText", QStringLiteral("Authorised users only"));
    frmStartUp page;
    page.Load();
    EXPECT_EQ(Control<QPlainTextEdit>(page, "txtText").toPlainText(), QStringLiteral("Authorised users only"));
    Control<QCheckBox>(page, "chkYN").click();
    EXPECT_FALSE(Control<QLineEdit>(page, "txtTitle").isEnabled());
    EXPECT_FALSE(Control<QPlainTextEdit>(page, "txtText").isEnabled());
    EXPECT_EQ(Control<QLineEdit>(page, "txtTitle").text(), QStringLiteral("Notice")) << "the texts stay";
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        page.Unload();
        EXPECT_EQ(boxes.Seen().size(), 1u);
    }
    EXPECT_FALSE(ReadStoredValue(HKEY_LOCAL_MACHINE, kNtWinlogon, "LegalNoticeCaption").has_value());
    EXPECT_FALSE(ReadStoredValue(HKEY_LOCAL_MACHINE, kNtWinlogon, "LegalNoticeText").has_value());
}

TEST_F(LogonMessage, TypingTheOldTextBackStillAsksAndNoKeepsTheValues)
{
    Store("LegalNoticeCaption", QStringLiteral("Notice"));
    Store("LegalNoticeText", QStringLiteral("Text"));
    for (const char *box : {"txtTitle", "txtText"}) {
        frmStartUp page;
        page.Load();
        auto &control = Control<QWidget>(page, box);
        Type(control, QStringLiteral("x"));
        Press(control, Qt::Key_Backspace);
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::No)});
        page.Unload();
        EXPECT_EQ(boxes.Seen().size(), 1u) << box;
    }
    frmStartUp edited;
    edited.Load();
    Control<QLineEdit>(edited, "txtTitle").setText(QStringLiteral("Shown but not saved"));
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::No)});
        edited.Unload();
    }
    ExpectString(kNtWinlogon, "LegalNoticeCaption", QStringLiteral("Notice"));
    ExpectString(kNtWinlogon, "LegalNoticeText", QStringLiteral("Text"));
}

TEST_F(LogonMessage, LinesOfTheMessageAreStoredWithWindowsLineBreaks)
{
    Store("LegalNoticeCaption", QStringLiteral("Notice"));
    Store("LegalNoticeText", QStringLiteral("First\r\nSecond\u00a0line"));
    {
        frmStartUp page;
        page.Load();
        auto &txtText = Control<QPlainTextEdit>(page, "txtText");
        EXPECT_EQ(txtText.document()->blockCount(), 2);
        Type(Control<QLineEdit>(page, "txtTitle"), QStringLiteral("!"));
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
        page.Unload();
    }
    ExpectString(kNtWinlogon, "LegalNoticeCaption", QStringLiteral("Notice!"));
    // The unedited text is written back as it was stored.
    ExpectString(kNtWinlogon, "LegalNoticeText", QStringLiteral("First\r\nSecond\u00a0line"));

    frmStartUp page;
    page.Load();
    auto &txtText = Control<QPlainTextEdit>(page, "txtText");
    txtText.clear();
    Type(txtText, QStringLiteral("One\nTwo"));
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    page.Unload();
    ExpectString(kNtWinlogon, "LegalNoticeText", QStringLiteral("One\r\nTwo"));
}

TEST_F(LogonMessage, ColumnFollowsThePageWidthAndOkStaysCentred)
{
    frmStartUp page;
    page.Load();
    page.show(); // a hidden widget hears of its new size only when it is shown
    for (const int pageWidth : {600, 431}) {
        page.resize(pageWidth, 500);
        const int column = pageWidth - TwipsToPixelsX(120, &page);
        for (const char *name : {"chkYN", "lblTitle", "txtTitle", "lblText", "txtText", "lblHelp"})
            EXPECT_EQ(Control<QWidget>(page, name).width(), column) << name << " at " << pageWidth;
        const auto &cmdOk = Control<QPushButton>(page, "cmdOk");
        EXPECT_EQ(cmdOk.x(), pageWidth / 2 - cmdOk.width() / 2);
    }
    MessageBoxAnswerer boxes;
    page.Unload();
    EXPECT_TRUE(boxes.Seen().empty()) << "resizing is no edit";
}

// Through the program: the tree opens the page, its OK button hands over to About.
class LogonMessageInTheFrame : public LogonMessage
{
protected:
    static void Start()
    {
        MdlStart::Main(
            [](const QString &key) -> Page * { return key == QLatin1String("StartUp") ? new frmStartUp : nullptr; });
    }
    static QTreeWidgetItem *Open(const char *key)
    {
        frmTR *tree = MdlStart::TreeWindow();
        QTreeWidgetItem *item = tree ? tree->ItemOf(QLatin1String(key)) : nullptr;
        if (!item) {
            ADD_FAILURE() << "no tree node " << key;
            return nullptr;
        }
        tree->Tree()->setCurrentItem(item);
        tree->TR_NodeClick(item);
        return item;
    }
    static Page &Current()
    {
        if (!MdlStart::CurrentPage)
            throw std::runtime_error("no current page");
        return *MdlStart::CurrentPage;
    }
    // Ticks the message on, asks nothing yet.
    static void SwitchOn() { Control<QCheckBox>(Current(), "chkYN").click(); }
};

TEST_F(LogonMessageInTheFrame, OkOnAnUnchangedPageShowsAboutWithoutAQuestion)
{
    Start();
    QTreeWidgetItem *node = Open("StartUp");
    ASSERT_EQ(Current().objectName(), QStringLiteral("frmStartUp"));
    QPointer<Page> logon = MdlStart::CurrentPage;
    MessageBoxAnswerer boxes;
    Control<QPushButton>(Current(), "cmdOk").click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_EQ(Current().objectName(), QStringLiteral("frmAbout"));
    EXPECT_TRUE(Current().isVisible());
    EXPECT_TRUE(logon.isNull()) << "the logon page is gone";
    EXPECT_EQ(MdlStart::TreeWindow()->Tree()->currentItem(), node);
}

TEST_F(LogonMessageInTheFrame, OkOnAChangedPageAsksAndSaves)
{
    Start();
    Open("StartUp");
    SwitchOn();
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    Control<QPushButton>(Current(), "cmdOk").click();
    EXPECT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(Current().objectName(), QStringLiteral("frmAbout"));
    ExpectString(kNtWinlogon, "LegalNoticeCaption", QStringLiteral("Windows"));
}

TEST_F(LogonMessageInTheFrame, ValuesLiveUnderTheNtKeyOnNt)
{
    Start();
    Open("StartUp");
    SwitchOn();
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    Open("About");
    ExpectString(kNtWinlogon, "LegalNoticeCaption", QStringLiteral("Windows"));
    EXPECT_FALSE(ReadStoredValue(HKEY_LOCAL_MACHINE, k9xWinlogon, "LegalNoticeCaption").has_value());
}

TEST_F(LogonMessageInTheFrame, ValuesLiveUnderTheWindowsKeyOn9x)
{
    const char version[] = "win98";
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, QStringLiteral("Software\\Wine"), QStringLiteral("Version"),
                               QLatin1String(version)));
    ASSERT_TRUE(Reg::SetString(HKEY_LOCAL_MACHINE, k9xWinlogon, QStringLiteral("LegalNoticeCaption"),
                               QStringLiteral("StoredValue on 9x")));
    Start();
    Open("StartUp");
    EXPECT_EQ(Control<QLineEdit>(Current(), "txtTitle").text(), QStringLiteral("StoredValue on 9x"));
    Type(Control<QPlainTextEdit>(Current(), "txtText"), QStringLiteral("Hello"));
    MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Yes)});
    Open("About");
    ExpectString(k9xWinlogon, "LegalNoticeText", QStringLiteral("Hello"));
    EXPECT_FALSE(ReadStoredValue(HKEY_LOCAL_MACHINE, kNtWinlogon, "LegalNoticeText").has_value());
}

} // namespace
