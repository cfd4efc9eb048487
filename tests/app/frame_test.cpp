// The application frame: start-up, page switching as a user does it and the status strip; and
// the About page it starts with: its texts, the running time past the 32-bit tick count, the
// display mode line, the timers' life with the page and the link opened by a double click.
#include "MdlStart.h"
#include "MessageBoxes.h"
#include "Module.h"
#include "Page.h"
#include "ScopedEnv.h"
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

// A page that saves on close as the real ones do and writes what happens to it into a log.
class ProbePage : public Page
{
public:
    // Where every probe page writes; the test's own log while it runs.
    static QStringList *Log;

    ProbePage() : log_(*Log)
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

QStringList *ProbePage::Log = nullptr;

Page *MakeProbe()
{
    return new ProbePage;
}

// A tree of two probe pages under a group, About, and a group inside a group.
constexpr PageRow kProbes[] = {
    {"About", "", 111, nullptr, "imgHlp", Platforms::Every, nullptr, nullptr},
    {"Windows", "", 102, nullptr, "RootDir", Platforms::Every, nullptr, nullptr},
    {"StartUp", "Windows", 103, nullptr, "imgStart", Platforms::Every, "ProbePage", &MakeProbe},
    {"Korvex", "Windows", 112, nullptr, "imgAdm", Platforms::Every, "ProbePage", &MakeProbe},
    {"IE", "Windows", 0, "Internet Explorer", "imgIE", Platforms::Every, nullptr, nullptr},
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
    static QString CurrentName() { return MdlStart::CurrentPage() ? MdlStart::CurrentPage()->objectName() : QString(); }

    // Starts the program with probe pages behind "StartUp" and "Korvex".
    void StartWithProbes()
    {
        ProbePage::Log = &log_;
        MdlStart::Main(kProbes);
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

TEST_F(Frame, StartsWithAboutGroupNodesShowItAndTheKeyboardOpensANode)
{
    StartWithProbes();
    ASSERT_NE(MdlStart::MainWindow(), nullptr);
    EXPECT_EQ(CurrentName(), QStringLiteral("frmAbout"));
    const Page *page = MdlStart::CurrentPage();
    EXPECT_TRUE(page && page->isVisible());
    for (const char *key : {"StartUp", "Windows", "StartUp", "IE", "About"}) {
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
        const QPointer<Page> left = MdlStart::CurrentPage();
        dynamic_cast<ProbePage &>(*MdlStart::CurrentPage()).Edit();
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

TEST_F(About, LoadFillsTheLabels)
{
    const auto page = LoadedPage();
    const std::pair<const char *, QString> cases[] = {
        {"lblVersion", QStringLiteral("Korvex  Version is 1.05")},
        {"lblBild", QStringLiteral("Build #0088  from  17.01.2002")},
        {"lblCN", "Computer Name:  " + Module::ComputerName()},
        {"lblUsr", "User Name: " + Module::CurrentUserName()},
        {"lblwo", QStringLiteral("Windows Started - ")},
        {"lblDisp", QStringLiteral("Current Resolution 1024x768 Color depth is 16 (65536) Bit (Colors)")},
        {"picWinOn", QString()}, // the running time waits for the first tick of its timer
    };
    for (const auto &[label, text] : cases)
        EXPECT_EQ(Text(*page, label), text) << label;
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
