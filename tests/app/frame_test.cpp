// The application frame: the tree as data, start-up, page switching as a user does it and the
// status strip; and the About page it starts with: its texts in both languages, the running
// time past the 32-bit tick count, the display mode line, the timers' life with the page and the
// link opened by a double click.
#include "MdlStart.h"
#include "MessageBoxes.h"
#include "Module.h"
#include "Page.h"
#include "ScopedEnv.h"
#include "StoredValue.h"
#include "TempMachine.h"
#include "frmAbout.h"
#include "frmStart.h"
#include "frmTR.h"
#include "win32.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

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
    void SetUp() override
    {
        env_.SetLanguage("en_US.UTF-8");
        // About's link writes its file under the cache folder; a blank in the name must survive
        // the command line.
        cache_ = MakeTempFolder("korvex-cache");
        env_.Set("XDG_CACHE_HOME", cache_ + "/my cache");
    }
    void TearDown() override
    {
        MdlStart::Shutdown();
        RemoveFolder(cache_);
    }

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

    // An About page whose clock and display are the test's, loaded like the tree loads it.
    std::unique_ptr<frmAbout> LoadedPage()
    {
        auto page = std::make_unique<frmAbout>();
        page->TickCount = [this] { return ticks_; };
        page->CurrentDisplayMode = [this] { return mode_; };
        page->Execute = [this](const QByteArray &line) {
            commands_.push_back(line);
            return 33u;
        };
        page->Load();
        return page;
    }
    static QString Text(const QWidget &page, const char *name)
    {
        const auto *label = page.findChild<QLabel *>(QLatin1String(name));
        return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
    }

    ScopedEnv env_;
    TempMachine machine_;
    QStringList log_;
    std::string cache_;
    std::uint64_t ticks_ = 0;
    frmAbout::DisplayMode mode_{1024, 768, 16};
    std::vector<QByteArray> commands_;
};

TEST_F(Frame, TreeHoldsEveryNodeUnderItsParentWithOptimizationOnlyOnNineXAndCaptionsInTheLanguage)
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
        QTreeWidgetItem *parent = *node.parentKey ? tree.ItemOf(QString::fromLatin1(node.parentKey)) : nullptr;
        EXPECT_EQ(item->parent(), parent);
        EXPECT_FALSE(item->icon(0).isNull());
    }

    // Captions follow the interface language, except the literal ones.
    const struct {
        const char *lang;
        const char *key;
        QString caption;
    } cases[] = {
        {"en_US.UTF-8", "StartUp", QStringLiteral("On StartUp")},
        {"ru_RU.UTF-8", "Windows", QStringLiteral("Система")},
        {"ru_RU.UTF-8", "IE", QStringLiteral("Internet Explorer")},
    };
    for (const auto &c : cases) {
        env_.Set("LANG", c.lang);
        frmTR captioned;
        captioned.BuildTree();
        EXPECT_EQ(captioned.ItemOf(QString::fromLatin1(c.key))->text(0), c.caption) << c.lang << " " << c.key;
    }
}

TEST_F(Frame, StartsWithAboutGroupNodesShowItAndTheKeyboardOpensANode)
{
    StartWithProbes();
    ASSERT_NE(MdlStart::MainWindow(), nullptr);
    EXPECT_EQ(CurrentName(), QStringLiteral("frmAbout"));
    const Page *page = MdlStart::CurrentPage;
    EXPECT_TRUE(page && page->isVisible());
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
// opens another node or the shown page's own node again (which loads it afresh).
TEST_F(Frame, LeavingAChangedPageAsksBeforeTheNextPageExists)
{
    const struct {
        const char *shown;
        const char *next;
        QMessageBox::StandardButton answer;
        QStringList log;
    } cases[] = {
        {"StartUp", "Korvex", QMessageBox::No, {"unload", "create", "load"}},
        {"StartUp", "StartUp", QMessageBox::Yes, {"unload", "save", "create", "load"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.shown) + " then " + c.next);
        StartWithProbes();
        Click(c.shown);
        const QPointer<Page> left = MdlStart::CurrentPage;
        dynamic_cast<ProbePage &>(*MdlStart::CurrentPage).Edit();
        log_.clear();
        MessageBoxAnswerer boxes({MessageBoxAnswerer::Click(c.answer)});
        Click(c.next);
        EXPECT_EQ(log_, c.log);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Save Changes ?"));
        EXPECT_TRUE(left.isNull()) << "the page left is gone";
        MdlStart::Shutdown();
    }
}

// The last position is on a screen left of the first.
TEST(StatusStrip, PositionIsOneBasedWithFourDigitsAtLeast)
{
    const std::pair<QPoint, const char *> cases[] = {
        {{11, 33}, "0012x0034"}, {{12345, 767}, "12346x0768"}, {{-6, 0}, "-0005x0001"}};
    for (const auto &[at, text] : cases)
        EXPECT_EQ(frmStart::PositionText(at), QLatin1String(text)) << text;
}

// ---- The About page ------------------------------------------------------------------------

using About = Frame;

TEST_F(About, LoadFillsTheLabelsInTheInterfaceLanguage)
{
    ASSERT_EQ(WriteStoredValue(HKEY_LOCAL_MACHINE,
                               QStringLiteral("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"),
                               "ComputerName", REG_SZ, QByteArray("KORVEX-PC", 10)),
              ERROR_SUCCESS);
    const struct {
        const char *lang;
        const char *label;
        QString text;
    } cases[] = {
        {"en_US.UTF-8", "lblVersion", QStringLiteral("Korvex  Version is 1.05")},
        {"en_US.UTF-8", "lblBild", QStringLiteral("Build #0088  from  17.01.2002")},
        {"en_US.UTF-8", "lblCN", QStringLiteral("Computer Name:  KORVEX-PC")},
        {"en_US.UTF-8", "lblUsr", "User Name: " + Module::CurrentUserName()},
        {"en_US.UTF-8", "lblwo", QStringLiteral("Windows Started - ")},
        {"en_US.UTF-8", "lblDisp",
         QStringLiteral("Current Resolution 1024x768 Color depth is 16 (65536) Bit (Colors)")},
        {"en_US.UTF-8", "picWinOn", QString()}, // the running time waits for the first tick of its timer
        {"ru_RU.UTF-8", "lblVersion", QStringLiteral("Korvex  Версия 1.05")},
        {"ru_RU.UTF-8", "lblwo", QStringLiteral("Windows запущен в течение - ")},
    };
    for (const auto &c : cases) {
        env_.SetLanguage(c.lang);
        EXPECT_EQ(Text(*LoadedPage(), c.label), c.text) << c.lang << " " << c.label;
    }
}

// The clock and the display line tick only while the page is loaded; the clock is drawn only
// when its text changes.
TEST_F(About, TimersRunWhileLoadedAndTheClockRedrawsOnlyWhenItsTextChanges)
{
    const auto page = LoadedPage();
    const QTimer *timers[] = {page->findChild<QTimer *>(QStringLiteral("tmr")),
                              page->findChild<QTimer *>(QStringLiteral("tmrD"))};
    for (const QTimer *timer : timers)
        EXPECT_TRUE(timer && timer->isActive());
    auto *clock = page->findChild<QLabel *>(QStringLiteral("picWinOn"));
    ASSERT_NE(clock, nullptr);
    ticks_ = 5'000;
    page->tmr_Timer();
    EXPECT_EQ(clock->text(), "0 h 00 min 05 s");

    // Within the same second nothing is drawn: a caption put there meanwhile stays.
    clock->setText(QStringLiteral("marker"));
    ticks_ = 5'900;
    page->tmr_Timer();
    EXPECT_EQ(clock->text(), "marker");

    // Past 24.8 days a 32-bit signed count turns negative, past 49.7 days it wraps; hours never
    // become days.
    ticks_ = 4'294'967'296ull + 1'000;
    page->tmr_Timer();
    EXPECT_EQ(clock->text(), "1193 h 02 min 48 s");
    EXPECT_EQ(page->LastUptime(), clock->text());

    mode_ = {1280, 1024, 32};
    page->tmrD_Timer();
    EXPECT_EQ(Text(*page, "lblDisp"), "Current Resolution 1280x1024 Color depth is 32 (4294967296) Bit (Colors)");
    env_.SetLanguage("ru_RU.UTF-8");
    EXPECT_EQ(frmAbout::UptimeText(ticks_), "1193 ч. 02 м. 48 с.");

    page->Unload();
    for (const QTimer *timer : timers)
        EXPECT_TRUE(timer && !timer->isActive());
}

void Mouse(QWidget *target, QEvent::Type type)
{
    const QPointF at(2, 2);
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST_F(About, LinkOpensTheReadmeOnADoubleClickOnly)
{
    const auto page = LoadedPage();
    auto *link = page->findChild<QLabel *>(QStringLiteral("lblurl"));
    ASSERT_NE(link, nullptr);

    Mouse(link, QEvent::MouseButtonPress);
    Mouse(link, QEvent::MouseButtonRelease);
    EXPECT_TRUE(commands_.empty()) << "a single click opened the link";

    // The sequence a double click delivers.
    Mouse(link, QEvent::MouseButtonPress);
    Mouse(link, QEvent::MouseButtonRelease);
    Mouse(link, QEvent::MouseButtonDblClick);
    Mouse(link, QEvent::MouseButtonRelease);
    ASSERT_EQ(commands_.size(), 1u);

    const QByteArray line = commands_[0];
    ASSERT_TRUE(line.startsWith("explorer file:///")) << line.toStdString();
    const QByteArray address = line.mid(static_cast<qsizetype>(std::strlen("explorer ")));
    EXPECT_FALSE(address.contains(' ')) << "the address would be split into two words";
    const QString path = QUrl::fromEncoded(address).toLocalFile();
    EXPECT_TRUE(path.startsWith(QString::fromStdString(cache_ + "/my cache/"))) << path.toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral("/README.md")));

    QFile written(path);
    QFile bundled(QStringLiteral(":/README.md"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    ASSERT_TRUE(bundled.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), bundled.readAll());
}

} // namespace
