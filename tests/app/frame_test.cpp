// The application frame: the tree as data, start-up, page switching as a user does it and the
// status strip.
#include "MdlStart.h"
#include "MessageBoxes.h"
#include "Page.h"
#include "ScopedEnv.h"
#include "TempMachine.h"
#include "frmStart.h"
#include "frmTR.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTreeWidget>
#include <cstring>
#include <gtest/gtest.h>

namespace
{

QStringList KeysOf(const std::vector<TreeNode> &nodes)
{
    QStringList keys;
    for (const TreeNode &node : nodes)
        keys << QString::fromLatin1(node.key);
    return keys;
}

// A page that saves on close as the real ones do and writes what happens to it into a log.
class ProbePage : public Page
{
public:
    explicit ProbePage(QStringList &log) : log_(log)
    {
        setObjectName(QStringLiteral("ProbePage"));
        log_ << QStringLiteral("create");
    }
    void Edit() { Changed = true; }

protected:
    void Form_Load() override
    {
        log_ << QStringLiteral("load");
        Changed = false;
    }
    void Form_Unload() override
    {
        log_ << QStringLiteral("unload");
        SaveOnClose();
    }
    void Save() override { log_ << QStringLiteral("save"); }

private:
    QStringList &log_;
};

class Frame : public ::testing::Test
{
protected:
    void SetUp() override { env_.SetLanguage("en_US.UTF-8"); }
    void TearDown() override { MdlStart::Shutdown(); }

    static frmTR &Tree() { return *MdlStart::TreeWindow(); }
    static void Click(const char *key)
    {
        QTreeWidgetItem *item = Tree().ItemOf(QString::fromLatin1(key));
        ASSERT_NE(item, nullptr) << key;
        Tree().TR_NodeClick(item);
    }
    static QString CurrentName() { return MdlStart::CurrentPage ? MdlStart::CurrentPage->objectName() : QString(); }

    // Starts the program with probe pages behind "StartUp" and "Korvex".
    void StartWithProbes()
    {
        MdlStart::Main([this](const QString &key) -> Page * {
            if (key == QLatin1String("StartUp") || key == QLatin1String("Korvex"))
                return new ProbePage(log_);
            return nullptr;
        });
    }

    ScopedEnv env_;
    TempMachine machine_;
    QStringList log_;
};

TEST_F(Frame, TreeHoldsEveryNodeUnderItsParentWithOptimizationOnlyOnNineX)
{
    const std::vector<TreeNode> nt = frmTR::Nodes(); // a new machine folder reports Windows 7
    machine_.ReportWindowsVersion("win98");
    frmTR tree;
    tree.BuildTree();
    QStringList nineX = KeysOf(frmTR::Nodes());
    EXPECT_EQ(nineX.removeAll(QStringLiteral("Optim")), 1);
    EXPECT_EQ(nineX, KeysOf(nt)) << "only the optimization node differs";

    for (const TreeNode &node : frmTR::Nodes()) {
        SCOPED_TRACE(node.key);
        QTreeWidgetItem *item = tree.ItemOf(QString::fromLatin1(node.key));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->data(0, Qt::UserRole).toString(), QLatin1String(node.key));
        QTreeWidgetItem *parent = *node.parentKey ? tree.ItemOf(QString::fromLatin1(node.parentKey)) : nullptr;
        EXPECT_EQ(item->parent(), parent);
        EXPECT_FALSE(item->icon(0).isNull());
    }
    QTreeWidgetItem *optim = tree.ItemOf("Optim");
    EXPECT_EQ(optim->parent()->indexOfChild(optim), 1) << "after Domain Find in IE";
    EXPECT_FALSE(tree.ItemOf("Windows")->isExpanded());
}

TEST_F(Frame, CaptionsFollowTheLanguageExceptTheLiteralOnes)
{
    const struct {
        const char *lang;
        const char *key;
        QString caption;
    } cases[] = {
        {"en_US.UTF-8", "StartUp", QStringLiteral("On StartUp")},
        {"en_US.UTF-8", "Korvex", QStringLiteral("Administrations Tools")},
        {"ru_RU.UTF-8", "Windows", QStringLiteral("Система")},
        {"ru_RU.UTF-8", "IE", QStringLiteral("Internet Explorer")},
        {"ru_RU.UTF-8", "Uninstall", QStringLiteral("Windows Uninstall")},
    };
    for (const auto &c : cases) {
        env_.Set("LANG", c.lang);
        frmTR tree;
        tree.BuildTree();
        EXPECT_EQ(tree.ItemOf(QString::fromLatin1(c.key))->text(0), c.caption) << c.lang << " " << c.key;
    }
}

TEST_F(Frame, StartsWithAboutGroupNodesShowItAndTheKeyboardOpensANode)
{
    StartWithProbes();
    ASSERT_NE(MdlStart::MainWindow(), nullptr);
    EXPECT_EQ(MdlStart::MainWindow()->windowTitle(), QStringLiteral("Korvex"));
    EXPECT_EQ(CurrentName(), QStringLiteral("frmAbout"));
    const Page *page = MdlStart::CurrentPage;
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(MdlStart::CurrentVersionKey, QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion"));
    for (const char *key : {"StartUp", "Windows", "StartUp", "IE", "GUI", "Internet", "Other", "VHDD", "About"}) {
        Click(key);
        const bool probe = std::strcmp(key, "StartUp") == 0;
        EXPECT_EQ(CurrentName(), probe ? QStringLiteral("ProbePage") : QStringLiteral("frmAbout")) << key;
    }
    EXPECT_EQ(MdlStart::MainWindow()->Client()->findChildren<Page *>().size(), 1) << "exactly one page exists";

    QTreeWidget *tree = Tree().Tree();
    tree->setCurrentItem(Tree().ItemOf("StartUp"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(tree, &enter);
    EXPECT_EQ(CurrentName(), QStringLiteral("ProbePage"));
}

// A changed page is asked about and unloaded before the next page exists, whether the user
// opens another node, the shown page's own node again (which loads it afresh) or closes the window.
TEST_F(Frame, LeavingAChangedPageAsksBeforeTheNextPageExists)
{
    const struct {
        const char *shown;
        const char *next; // nullptr: close the main window
        QMessageBox::StandardButton answer;
        QStringList log;
    } cases[] = {
        {"StartUp", "Korvex", QMessageBox::No, {"unload", "create", "load"}},
        {"Korvex", "About", QMessageBox::Yes, {"unload", "save"}},
        {"StartUp", "StartUp", QMessageBox::Yes, {"unload", "save", "create", "load"}},
        {"Korvex", nullptr, QMessageBox::Yes, {"unload", "save"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.shown) + " then " + (c.next ? c.next : "close"));
        StartWithProbes();
        Click(c.shown);
        const QPointer<Page> left = MdlStart::CurrentPage;
        dynamic_cast<ProbePage &>(*MdlStart::CurrentPage).Edit();
        log_.clear();
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(c.answer)});
        if (c.next)
            Click(c.next);
        else
            MdlStart::MainWindow()->close();
        EXPECT_EQ(log_, c.log);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Save Changes ?"));
        EXPECT_TRUE(left.isNull()) << "the page left is gone";
        MdlStart::Shutdown();
    }
}

TEST(StatusStrip, PositionIsOneBasedWithFourDigitsAtLeast)
{
    const std::pair<QPoint, const char *> cases[] = {
        {{0, 0}, "0001x0001"},
        {{11, 33}, "0012x0034"},
        {{12345, 767}, "12346x0768"},
        {{-6, 0}, "-0005x0001"}, // a screen left of the first
    };
    for (const auto &[at, text] : cases)
        EXPECT_EQ(frmStart::PositionText(at), QLatin1String(text)) << text;
}

TEST(StatusStrip, TextsAreDrawnOnlyWhenTheyChange)
{
    StatusStrip strip;
    strip.SetPositionText(QStringLiteral("0001x0001"));
    strip.SetTimeText(QStringLiteral("12:00:00"));
    EXPECT_EQ(strip.Redraws(), 2);
    strip.SetPositionText(QStringLiteral("0001x0001"));
    strip.SetTimeText(QStringLiteral("12:00:00"));
    EXPECT_EQ(strip.Redraws(), 2);
    strip.SetTimeText(QStringLiteral("12:00:01"));
    EXPECT_EQ(strip.Redraws(), 3);

    frmStart window;
    window.tmrStat_Timer();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]$"))
                    .match(window.Status()->TimeText())
                    .hasMatch());
    EXPECT_EQ(window.Status()->PositionText(), frmStart::PositionText(QCursor::pos()));
}

} // namespace
