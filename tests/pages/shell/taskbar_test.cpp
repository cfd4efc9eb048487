// The taskbar buttons page over a fake shell: which windows it finds, the order and flags of its
// moves and resizes, and its toggles; and without a shell, as on Unix, its zeros.
#include "PageTest.h"
#include "ShellSeams.h"
#include "frmSysBtn.h"

#include <map>

namespace
{

struct Moved {
    win::HWND window;
    int x, y, cx, cy;
    win::UINT flags;
    bool operator==(const Moved &) const = default;
};

win::HWND Handle(int n)
{
    return reinterpret_cast<win::HWND>(static_cast<std::uintptr_t>(n));
}

// A shell with the four elements, each a window with a normal rectangle, shown and enabled.
class FakeShell : public ShellWindows
{
public:
    struct Window {
        win::RECT rect;
        bool visible = true;
        bool enabled = true;
    };
    const win::HWND tray = Handle(1), start = Handle(2), notify = Handle(3), desktop = Handle(4);
    std::map<win::HWND, Window> windows{{tray, {{0, 570, 800, 600}}},
                                        {start, {{2, 2, 56, 24}}},
                                        {notify, {{700, 2, 798, 26}}},
                                        {desktop, {{0, 0, 800, 600}}}};
    std::vector<Moved> moves;

    win::HWND FindWindowA(const char *className, const char *) override
    {
        const std::string name = className;
        return name == "Shell_TrayWnd" ? tray : name == "Progman" ? desktop : nullptr;
    }
    win::HWND FindWindowExA(win::HWND parent, win::HWND, const char *className, const char *) override
    {
        const std::string name = parent == tray ? className : "";
        return name == "Button" ? start : name == "TrayNotifyWnd" ? notify : nullptr;
    }
    win::BOOL GetWindowPlacement(win::HWND window, win::WINDOWPLACEMENT *placement) override
    {
        EXPECT_EQ(placement->length, 44u);
        placement->rcNormalPosition = windows.at(window).rect;
        return 1;
    }
    win::BOOL SetWindowPos(win::HWND window, win::HWND insertAfter, int x, int y, int cx, int cy,
                           win::UINT flags) override
    {
        EXPECT_EQ(insertAfter, nullptr);
        moves.push_back({window, x, y, cx, cy, flags});
        win::RECT &rect = windows.at(window).rect;
        if (!(flags & SWP_NOMOVE))
            rect = {x, y, x + rect.right - rect.left, y + rect.bottom - rect.top};
        if (!(flags & SWP_NOSIZE))
            rect = {rect.left, rect.top, rect.left + cx, rect.top + cy};
        return 1;
    }
    win::BOOL ShowWindow(win::HWND window, int showCommand) override
    {
        windows.at(window).visible = showCommand != SW_HIDE;
        return 1;
    }
    win::BOOL IsWindowVisible(win::HWND window) override { return windows.at(window).visible; }
    win::BOOL IsWindowEnabled(win::HWND window) override { return windows.at(window).enabled; }
    win::BOOL EnableWindow(win::HWND window, win::BOOL enable) override
    {
        windows.at(window).enabled = enable != 0;
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
    static QLineEdit &Box(Page &page, const char *name) { return Control<QLineEdit>(page, name); }
    FakeShell shell_;
};

constexpr win::UINT kResize = 18;
constexpr win::UINT kMove = 17;

TEST_F(TaskbarPage, OpensOnTheStartButtonsSizeWritingHeightFirstThenMovesAndResizesAsTyped)
{
    Page &page = Open("SysEl");
    EXPECT_EQ(Box(page, "TxtX").text(), QStringLiteral("54"));
    EXPECT_EQ(Box(page, "TxtY").text(), QStringLiteral("22"));
    // The height is applied with the old width, then both; the button ends as it was.
    EXPECT_EQ(shell_.moves,
              (std::vector<Moved>{{shell_.start, 0, 0, 0, 22, kResize}, {shell_.start, 0, 0, 54, 22, kResize}}));
    EXPECT_EQ(shell_.windows[shell_.start].rect.right, 56);

    // Position mode moves with the sign, size mode uses the absolute value.
    Control<QComboBox>(page, "cboSE").setCurrentIndex(3);
    Control<QRadioButton>(page, "optPos").click();
    EXPECT_EQ(Box(page, "TxtX").text(), QStringLiteral("700"));
    shell_.moves.clear();
    Box(page, "TxtX").setText(QStringLiteral("-12.5px"));
    EXPECT_EQ(shell_.moves, (std::vector<Moved>{{shell_.notify, -12, 2, 0, 0, kMove}}));

    Control<QRadioButton>(page, "optSize").click();
    shell_.moves.clear();
    Box(page, "TxtY").setText(QStringLiteral("-30"));
    EXPECT_EQ(shell_.moves, (std::vector<Moved>{{shell_.notify, 0, 0, 98, 30, kResize}}));
}

TEST_F(TaskbarPage, EachElementIsFoundByItsClassesAndTogglingTwiceRestoresIt)
{
    Page &page = Open("SysEl");
    const std::pair<int, win::HWND> rows[] = {
        {1, shell_.desktop}, {2, shell_.tray}, {3, shell_.notify}, {0, shell_.start}};
    for (const auto &[row, window] : rows) {
        shell_.moves.clear();
        Control<QComboBox>(page, "cboSE").setCurrentIndex(row);
        ASSERT_FALSE(shell_.moves.empty()) << row;
        EXPECT_EQ(shell_.moves.back().window, window) << row;
        Click("btnSH");
        Click("btnED");
        EXPECT_FALSE(shell_.windows[window].visible || shell_.windows[window].enabled) << row;
        Click("btnSH");
        Click("btnED");
        EXPECT_TRUE(shell_.windows[window].visible && shell_.windows[window].enabled) << row;
    }
}

// No element is found: each shows zeros and the buttons do nothing, without a message.
using NoShell = PageTest;

TEST_F(NoShell, EveryElementShowsZerosAndTheButtonsDoNothing)
{
    Page &page = Open("SysEl");
    for (int row = 0; row < 4; ++row) {
        Control<QComboBox>(page, "cboSE").setCurrentIndex(row);
        Control<QRadioButton>(page, row % 2 ? "optPos" : "optSize").click();
        EXPECT_EQ(Current<QLineEdit>("TxtX").text() + Current<QLineEdit>("TxtY").text(), QStringLiteral("00")) << row;
        EXPECT_TRUE(Click("btnSH").empty() && Click("btnED").empty()) << row;
    }
}

TEST(RoundToLong, RoundsHalvesToEvenAndHoldsTheRange)
{
    const std::pair<double, int> rounded[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {1e12, 2147483647}, {-1e12, -2147483647 - 1}};
    for (const auto &[number, whole] : rounded)
        EXPECT_EQ(RoundToLong(number), whole) << number;
}

} // namespace
