// The shortcut appearance page used as a user uses it: how it reads the stored text and arrow,
// what Apply and the save question write, and that an unedited text survives saving unchanged.
#include "Controls.h"
#include "MessageBoxes.h"
#include "Page.h"
#include "Reg.h"
#include "ScopedEnv.h"
#include "StoredValue.h"
#include "TempMachine.h"
#include "frmshortcut.h"
#include "win32.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

namespace
{

constexpr QLatin1StringView kUserExplorer("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
constexpr QLatin1StringView kDefaultExplorer(".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");

// The "link" bytes that mean no text.
QByteArray NoText()
{
    return QByteArray(4, '\0');
}

void StoreLink(const QByteArray &bytes)
{
    ASSERT_TRUE(Reg::SetBinary(HKEY_CURRENT_USER, kUserExplorer, QStringLiteral("link"), bytes));
}

void ShowArrow(const char *shortcutClass)
{
    ASSERT_TRUE(Reg::SetString(HKEY_CLASSES_ROOT, QLatin1String(shortcutClass), QStringLiteral("IsShortCut"), {}));
}

// "link" under both profiles holds exactly these bytes as REG_BINARY.
void ExpectLink(const QByteArray &bytes)
{
    for (const auto &[root, path] :
         {std::pair{HKEY_CURRENT_USER, QString(kUserExplorer)}, {HKEY_USERS, QString(kDefaultExplorer)}}) {
        const std::optional<StoredValue> stored = ReadStoredValue(root, path, "link");
        ASSERT_TRUE(stored.has_value()) << path.toStdString();
        EXPECT_EQ(stored->type, static_cast<win::DWORD>(REG_BINARY)) << path.toStdString();
        EXPECT_EQ(stored->data.toHex(' '), bytes.toHex(' ')) << path.toStdString();
    }
}

// Whether each shortcut class carries the empty REG_SZ "IsShortCut".
void ExpectArrow(bool shown)
{
    for (const char *shortcutClass : {"lnkfile", "piffile"}) {
        const std::optional<StoredValue> stored =
            ReadStoredValue(HKEY_CLASSES_ROOT, QLatin1String(shortcutClass), "IsShortCut");
        ASSERT_EQ(stored.has_value(), shown) << shortcutClass;
        if (shown) {
            EXPECT_EQ(stored->type, static_cast<win::DWORD>(REG_SZ)) << shortcutClass;
            EXPECT_EQ(stored->data, QByteArray(1, '\0')) << shortcutClass;
        }
    }
}

void Backspace(QWidget &target)
{
    Press(target, Qt::Key_Backspace);
}

class ShortcutPage : public ::testing::Test
{
protected:
    void SetUp() override { env_.SetLanguage("en_US.UTF-8"); }

    // Closes the page answering the save question, if one comes; how many came.
    static std::size_t Close(frmshortcut &page, QMessageBox::StandardButton answer = QMessageBox::Yes)
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(answer)});
        page.Unload();
        return boxes.Seen().size();
    }

    ScopedEnv env_;
    TempMachine machine_;
};

TEST_F(ShortcutPage, WithoutLinkOrArrowBothBoxesLoadTickedAndClosingWritesNothing)
{
    frmshortcut page;
    page.Load();
    EXPECT_EQ(page.objectName(), QStringLiteral("frmshortcut"));
    EXPECT_EQ(Control<QLabel>(page, "lbltxt").text(), QStringLiteral("Text on Shortcuts:"));
    EXPECT_EQ(Control<QCheckBox>(page, "chkns").text(), QStringLiteral("Delete shortcut text"));
    EXPECT_EQ(Control<QCheckBox>(page, "chkni").text(), QStringLiteral("Remove the Shortcut Arrow"));
    EXPECT_EQ(Control<QPushButton>(page, "btnApply").text(), QStringLiteral("Apply"));
    EXPECT_TRUE(Control<QCheckBox>(page, "chkns").isChecked());
    EXPECT_TRUE(Control<QCheckBox>(page, "chkni").isChecked());
    EXPECT_FALSE(Control<QLineEdit>(page, "txtShortCut").isEnabled());
    EXPECT_EQ(Control<QLineEdit>(page, "txtShortCut").text(), QString());

    EXPECT_EQ(Close(page), 0u);
    EXPECT_FALSE(ReadStoredValue(HKEY_CURRENT_USER, kUserExplorer, "link").has_value());
    EXPECT_FALSE(ReadStoredValue(HKEY_USERS, kDefaultExplorer, "link").has_value());
}

TEST_F(ShortcutPage, ZeroBytesOrAnEmptyValueMeanNoTextAndAnythingElseIsText)
{
    const struct {
        QByteArray stored;
        bool noText;
        QString shown;
    } cases[] = {
        {NoText(), true, QString()}, // the zeros that mean no text are not put in the box
        {QByteArray(), true, QString()},
        {QByteArray("Link to  "), false, QStringLiteral("Link to ")},
        {QByteArray("no space"), false, QStringLiteral("no space")},
        {QByteArray(5, '\0'), true, QString()},
        {QByteArray(6, '\0'), false, QString(5, QChar(0))},
    };
    for (const auto &c : cases) {
        StoreLink(c.stored);
        frmshortcut page;
        page.Load();
        const QString stored = QString::fromLatin1(c.stored.toHex(' '));
        EXPECT_EQ(Control<QCheckBox>(page, "chkns").isChecked(), c.noText) << stored.toStdString();
        EXPECT_EQ(Control<QLineEdit>(page, "txtShortCut").isEnabled(), !c.noText) << stored.toStdString();
        EXPECT_EQ(Control<QLineEdit>(page, "txtShortCut").text(), c.shown) << stored.toStdString();
        EXPECT_EQ(Close(page), 0u) << stored.toStdString();
    }
}

TEST_F(ShortcutPage, UntickingNoTextAfterZerosStoresAnEmptyTextNotTheZeros)
{
    StoreLink(NoText());
    frmshortcut page;
    page.Load();
    Control<QCheckBox>(page, "chkns").click();
    EXPECT_EQ(Close(page), 1u);
    ExpectLink(QByteArray(" "));
}

TEST_F(ShortcutPage, TheTextStaysShortEnoughToBeReadBack)
{
    frmshortcut page;
    page.Load();
    Control<QCheckBox>(page, "chkns").click();
    auto &text = Control<QLineEdit>(page, "txtShortCut");
    text.setText(QString(400, QChar(0x44F))); // two bytes each in UTF-8
    EXPECT_EQ(text.text().size(), 255);
    EXPECT_EQ(Close(page), 1u);
    frmshortcut again;
    again.Load();
    EXPECT_FALSE(Control<QCheckBox>(again, "chkns").isChecked()) << "a saved text must load as text";
    EXPECT_EQ(Control<QLineEdit>(again, "txtShortCut").text(), QString(255, QChar(0x44F)));
    Close(again);
}

TEST_F(ShortcutPage, AnArrowOnEitherClassLoadsShownAndSavingPutsItOnBoth)
{
    for (const char *shortcutClass : {"lnkfile", "piffile"}) {
        SCOPED_TRACE(shortcutClass);
        Reg::DeleteValue(HKEY_CLASSES_ROOT, QStringLiteral("lnkfile"), QStringLiteral("IsShortCut"));
        Reg::DeleteValue(HKEY_CLASSES_ROOT, QStringLiteral("piffile"), QStringLiteral("IsShortCut"));
        ShowArrow(shortcutClass);
        StoreLink("Link to  ");
        frmshortcut page;
        page.Load();
        auto &chkni = Control<QCheckBox>(page, "chkni");
        EXPECT_FALSE(chkni.isChecked());
        chkni.click();
        chkni.click(); // back as loaded, but still a change
        EXPECT_EQ(Close(page), 1u);
        ExpectArrow(true);
        ExpectLink("Link to  ");
    }
}

TEST_F(ShortcutPage, RemovingTheArrowDeletesItFromBothClassesAndStillWritesTheText)
{
    ShowArrow("lnkfile");
    ShowArrow("piffile");
    StoreLink("Old ");
    frmshortcut page;
    page.Load();
    Control<QCheckBox>(page, "chkni").click();
    EXPECT_EQ(Close(page), 1u);
    ExpectArrow(false);
    ExpectLink("Old ");
}

TEST_F(ShortcutPage, NoLeavesEverythingAsItWas)
{
    ShowArrow("lnkfile");
    StoreLink("Old ");
    frmshortcut page;
    page.Load();
    Control<QCheckBox>(page, "chkni").click();
    Control<QCheckBox>(page, "chkns").click();
    EXPECT_EQ(Close(page, QMessageBox::No), 1u);
    EXPECT_TRUE(ReadStoredValue(HKEY_CLASSES_ROOT, QStringLiteral("lnkfile"), "IsShortCut").has_value());
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, kUserExplorer, "link")->data, QByteArray("Old "));
    EXPECT_FALSE(ReadStoredValue(HKEY_USERS, kDefaultExplorer, "link").has_value());
}

TEST_F(ShortcutPage, ApplyWritesWithoutAQuestionAndOnlyALaterEditAsksAgain)
{
    frmshortcut page;
    page.Load();
    Control<QCheckBox>(page, "chkni").click(); // shows the arrow
    {
        MessageBoxAnswerer boxes;
        Control<QPushButton>(page, "btnApply").click();
        EXPECT_TRUE(boxes.Seen().empty());
    }
    ExpectArrow(true);
    ExpectLink(NoText());
    EXPECT_EQ(Close(page), 0u) << "Apply left the page unchanged";

    frmshortcut again;
    again.Load();
    Control<QPushButton>(again, "btnApply").click();
    Control<QCheckBox>(again, "chkni").click();
    EXPECT_EQ(Close(again, QMessageBox::Yes), 1u);
    ExpectArrow(false);
}

TEST_F(ShortcutPage, AProfileThatCannotBeWrittenDoesNotStopTheArrow)
{
    const std::string damaged = "not a registry file\n";
    machine_.WriteFile("userdef.reg", damaged);
    frmshortcut page;
    page.Load();
    Control<QCheckBox>(page, "chkni").click();
    {
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(QMessageBox::Ok)});
        Control<QPushButton>(page, "btnApply").click();
        ASSERT_EQ(boxes.Seen().size(), 1u) << "one warning for the one profile that was not saved";
        EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(boxes.Seen()[0].text.contains(QStringLiteral("HKEY_USERS\\.DEFAULT")));
    }
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, kUserExplorer, "link")->data, NoText());
    EXPECT_FALSE(ReadStoredValue(HKEY_USERS, kDefaultExplorer, "link").has_value());
    ExpectArrow(true);
    EXPECT_EQ(machine_.ReadFile("userdef.reg"), damaged);
    EXPECT_EQ(Close(page), 0u);
}

TEST_F(ShortcutPage, DeleteTextKeepsTheTypedTextForWhenItIsUntickedAgain)
{
    frmshortcut page;
    page.Load();
    auto &chkns = Control<QCheckBox>(page, "chkns");
    auto &txtShortCut = Control<QLineEdit>(page, "txtShortCut");
    chkns.click();
    EXPECT_TRUE(txtShortCut.isEnabled());
    Type(txtShortCut, QStringLiteral("Copy of"));
    chkns.click();
    EXPECT_FALSE(txtShortCut.isEnabled());
    EXPECT_EQ(txtShortCut.text(), QStringLiteral("Copy of"));
    Control<QPushButton>(page, "btnApply").click();
    ExpectLink(NoText());

    chkns.click();
    EXPECT_EQ(Close(page), 1u);
    ExpectLink("Copy of ");

    frmshortcut empty;
    empty.Load();
    Control<QLineEdit>(empty, "txtShortCut").clear();
    EXPECT_EQ(Close(empty), 1u);
    ExpectLink(" "); // an empty text is the single space
}

TEST_F(ShortcutPage, AnUneditedTextKeepsItsLengthThroughEverySave)
{
    const QString text = QStringLiteral("Ярлык для ");
    const QByteArray stored = text.toUtf8() + ' ';
    StoreLink(stored);
    for (int round = 0; round < 3; ++round) {
        frmshortcut page;
        page.Load();
        auto &txtShortCut = Control<QLineEdit>(page, "txtShortCut");
        EXPECT_EQ(txtShortCut.text(), text) << "round " << round;
        Control<QPushButton>(page, "btnApply").click();
        ExpectLink(stored);
        // Edited and typed back: the question comes, and the same bytes are written.
        Backspace(txtShortCut);
        Type(txtShortCut, QStringLiteral(" "));
        EXPECT_EQ(Close(page), 1u);
        ExpectLink(stored);
    }
}

TEST_F(ShortcutPage, TextBoxFollowsThePageWidthAndApplyStaysCentred)
{
    frmshortcut page;
    page.Load();
    page.show(); // a hidden widget hears of its new size only when it is shown
    for (const int pageWidth : {600, 377}) {
        page.resize(pageWidth, 300);
        EXPECT_EQ(Control<QLabel>(page, "lbltxt").width(), pageWidth);
        EXPECT_EQ(Control<QLineEdit>(page, "txtShortCut").width(), pageWidth - TwipsToPixelsX(120, &page));
        const auto &btnApply = Control<QPushButton>(page, "btnApply");
        EXPECT_EQ(btnApply.x(), pageWidth / 2 - btnApply.width() / 2);
    }
    EXPECT_EQ(Close(page), 0u) << "resizing is no edit";
}

} // namespace
