// The taskbar buttons page over a fake shell: which windows it finds, the order and flags of its
// moves and resizes, and its toggles; on this platform without a shell, the zeros.
#include "PageTest.h"
#include "ShellSeams.h"
#include "frmSysBtn.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <map>

namespace
{

struct Moved {
    win::HWND window;
    win::HWND insertAfter;
    int x, y, cx, cy;
    win::UINT flags;
    bool operator==(const Moved &) const = default;
};

// A shell with the four elements, each a window with a normal rectangle, shown and enabled.
class FakeShell : public ShellWindows
{
public:
    struct Window {
        win::RECT rect;
        bool visible = true;
        bool enabled = true;
    };
    static win::HWND Handle(int n) { return reinterpret_cast<win::HWND>(static_cast<std::uintptr_t>(n)); }
    const win::HWND tray = Handle(1), start = Handle(2), notify = Handle(3), desktop = Handle(4);
    std::map<win::HWND, Window> windows{{tray, {{0, 570, 800, 600}}},
                                        {start, {{2, 2, 56, 24}}},
                                        {notify, {{700, 2, 798, 26}}},
                                        {desktop, {{0, 0, 800, 600}}}};
    std::vector<Moved> moves;

    win::HWND FindWindowA(const char *className, const char *windowName) override
    {
        EXPECT_EQ(windowName, nullptr);
        const std::string name = className;
        return name == "Shell_TrayWnd" ? tray : name == "Progman" ? desktop : nullptr;
    }
    win::HWND FindWindowExA(win::HWND parent, win::HWND childAfter, const char *className, const char *) override
    {
        EXPECT_EQ(childAfter, nullptr);
        if (parent != tray)
            return nullptr;
        const std::string name = className;
        return name == "Button" ? start : name == "TrayNotifyWnd" ? notify : nullptr;
    }
    win::BOOL GetWindowPlacement(win::HWND window, win::WINDOWPLACEMENT *placement) override
    {
        EXPECT_EQ(placement->length, 44u);
        if (!windows.contains(window))
            return 0;
        placement->rcNormalPosition = windows[window].rect;
        return 1;
    }
    win::BOOL SetWindowPos(win::HWND window, win::HWND insertAfter, int x, int y, int cx, int cy,
                           win::UINT flags) override
    {
        moves.push_back({window, insertAfter, x, y, cx, cy, flags});
        if (!windows.contains(window))
            return 0;
        win::RECT &rect = windows[window].rect;
        if (!(flags & SWP_NOMOVE))
            rect = {x, y, x + rect.right - rect.left, y + rect.bottom - rect.top};
        if (!(flags & SWP_NOSIZE))
            rect = {rect.left, rect.top, rect.left + cx, rect.top + cy};
        return 1;
    }
    win::BOOL ShowWindow(win::HWND window, int showCommand) override
    {
        windows[window].visible = showCommand != SW_HIDE;
        return 1;
    }
    win::BOOL IsWindowVisible(win::HWND window) override { return windows[window].visible; }
    win::BOOL IsWindowEnabled(win::HWND window) override { return windows[window].enabled; }
    win::BOOL EnableWindow(win::HWND window, win::BOOL enable) override
    {
        windows[window].enabled = enable != 0;
        return 1;
    }
};

class TaskbarPage : public PageTest
{
protected:
    void SetUp() override
    {
        PageTest::SetUp();
        UseShellWindows(&shell_);
    }
    void TearDown() override
    {
        PageTest::TearDown();
        UseShellWindows(nullptr);
    }
    static std::pair<QString, QString> Shown(Page &page)
    {
        return {Control<QLineEdit>(page, "TxtX").text(), Control<QLineEdit>(page, "TxtY").text()};
    }
    FakeShell shell_;
};

constexpr win::UINT kResize = 18;
constexpr win::UINT kMove = 17;

TEST_F(TaskbarPage, OpensOnTheStartButtonsSizeWritingHeightFirst)
{
    Page &page = Open("SysEl");
    EXPECT_EQ(Control<QComboBox>(page, "cboSE").currentIndex(), 0);
    EXPECT_EQ(Shown(page), std::pair(QStringLiteral("54"), QStringLiteral("22")));
    // The height is applied with the old width, then both; the button ends as it was.
    const std::vector<Moved> expected = {{shell_.start, nullptr, 0, 0, 0, 22, kResize},
                                         {shell_.start, nullptr, 0, 0, 54, 22, kResize}};
    EXPECT_EQ(shell_.moves, expected);
    EXPECT_EQ(shell_.windows[shell_.start].rect.right, 56);
}

TEST_F(TaskbarPage, PositionModeMovesWithTheSignAndSizeModeUsesTheAbsoluteValue)
{
    Page &page = Open("SysEl");
    Control<QComboBox>(page, "cboSE").setCurrentIndex(3);
    Control<QRadioButton>(page, "optPos").click();
    EXPECT_EQ(Shown(page), std::pair(QStringLiteral("700"), QStringLiteral("2")));
    EXPECT_EQ(shell_.windows[shell_.notify].rect.left, 700);

    shell_.moves.clear();
    Control<QLineEdit>(page, "TxtX").setText(QStringLiteral("-12.5px"));
    EXPECT_EQ(shell_.moves, (std::vector<Moved>{{shell_.notify, nullptr, -12, 2, 0, 0, kMove}}));

    Control<QRadioButton>(page, "optSize").click();
    shell_.moves.clear();
    Control<QLineEdit>(page, "TxtY").setText(QStringLiteral("-30"));
    EXPECT_EQ(shell_.moves, (std::vector<Moved>{{shell_.notify, nullptr, 0, 0, 98, 30, kResize}}));
}

TEST_F(TaskbarPage, EachElementIsFoundByItsClasses)
{
    Page &page = Open("SysEl");
    auto &elements = Control<QComboBox>(page, "cboSE");
    const std::pair<int, win::HWND> rows[] = {
        {1, shell_.desktop}, {2, shell_.tray}, {3, shell_.notify}, {0, shell_.start}};
    for (const auto &[row, window] : rows) {
        shell_.moves.clear();
        elements.setCurrentIndex(row);
        ASSERT_FALSE(shell_.moves.empty()) << row;
        EXPECT_EQ(shell_.moves.back().window, window) << row;
    }
}

TEST_F(TaskbarPage, TogglingTwiceRestores)
{
    Page &page = Open("SysEl");
    Control<QComboBox>(page, "cboSE").setCurrentIndex(2);
    for (const char *button : {"btnSH", "btnED"}) {
        Click(button);
        EXPECT_FALSE(button == std::string("btnSH") ? shell_.windows[shell_.tray].visible
                                                    : shell_.windows[shell_.tray].enabled);
        Click(button);
    }
    EXPECT_TRUE(shell_.windows[shell_.tray].visible);
    EXPECT_TRUE(shell_.windows[shell_.tray].enabled);
}

TEST_F(PageTest, WithoutAShellTheTaskbarPageShowsZeros)
{
    Page &page = Open("SysEl");
    for (const char *box : {"TxtX", "TxtY"})
        EXPECT_EQ(Control<QLineEdit>(page, box).text(), QStringLiteral("0")) << box;
    Control<QRadioButton>(page, "optPos").click();
    Click("btnSH");
    Click("btnED");
    EXPECT_EQ(Control<QLineEdit>(page, "TxtX").text(), QStringLiteral("0"));
}

TEST(LeadingNumber, ReadsTheNumberATextStartsWith)
{
    const std::pair<const char *, double> cases[] = {
        {"42", 42}, {" 1 2 3", 123}, {"-7x", -7}, {"+2.5", 2.5}, {".5", 0.5}, {"1e3", 1000}, {"1D2", 100},
        {"2e", 2},  {"abc", 0},      {"", 0},     {"-", 0},      {"0x10", 0}, {"inf", 0},
    };
    for (const auto &[text, number] : cases)
        EXPECT_DOUBLE_EQ(LeadingNumber(QString::fromLatin1(text)), number) << text;
    EXPECT_EQ(RoundToLong(2.5), 2);
    EXPECT_EQ(RoundToLong(3.5), 4);
    EXPECT_EQ(RoundToLong(-2.5), -2);
    EXPECT_EQ(RoundToLong(1e12), 2147483647);
    EXPECT_EQ(RoundToLong(-1e12), -2147483647 - 1);
}

} // namespace
