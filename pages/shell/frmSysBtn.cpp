#include "frmSysBtn.h"

#include "NumericValue.h"
#include "ShellSeams.h"
#include "Strings.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace
{

// The elements, by row of the list: the top-level window's class, and the class of its child
// that is the element (null when the top-level window is the element itself).
struct Element {
    int caption;
    const char *windowClass;
    const char *childClass;
};
constexpr std::array<Element, 4> kElements = {{
    {466, "Shell_TrayWnd", "Button"},
    {467, "Progman", nullptr},
    {468, "Shell_TrayWnd", nullptr},
    {469, "Shell_TrayWnd", "TrayNotifyWnd"},
}};

// Sizing keeps the position, moving keeps the size; neither keeps the Z order (the element is
// raised) and neither activates it.
constexpr win::UINT kResizeFlags = SWP_NOMOVE | SWP_NOACTIVATE;
constexpr win::UINT kMoveFlags = SWP_NOSIZE | SWP_NOACTIVATE;

constexpr int kSelectCaption = 465;
constexpr int kSizeCaption = 461;
constexpr int kPositionCaption = 462;
constexpr int kShowHideCaption = 463;
constexpr int kEnableDisableCaption = 464;
constexpr auto kXLabel = "X=";
constexpr auto kYLabel = "Y=";
constexpr auto kStartNumber = "0";

// Design geometry in twips: the element list under its caption, the two options side by side,
// the two numbers with their letters, and the two buttons.
constexpr int kLeft = 120;
constexpr int kListWidth = 2655;
constexpr int kRow = 285;
constexpr int kLetterWidth = 375;
constexpr int kNumberWidth = 1095;
constexpr int kButtonWidth = 1815;
constexpr int kSecondNumberLeft = kLeft + kLetterWidth + kNumberWidth + 120;
constexpr Placement kLayout[] = {
    {"lblsi", {kLeft, 120, kListWidth, kRow}},
    {"cboSE", {kLeft, 420, kListWidth, 315}},
    {"optSize", {kLeft, 900, kListWidth / 2, kRow}},
    {"optPos", {kLeft + kListWidth / 2, 900, kListWidth - kListWidth / 2, kRow}},
    {"lblX", {kLeft, 1320, kLetterWidth, kRow}},
    {"TxtX", {kLeft + kLetterWidth, 1290, kNumberWidth, kRow}},
    {"lblY", {kSecondNumberLeft, 1320, kLetterWidth, kRow}},
    {"TxtY", {kSecondNumberLeft + kLetterWidth, 1290, kNumberWidth, kRow}},
    {"btnSH", {kLeft, 1800, kButtonWidth, 375}},
    {"btnED", {kLeft + kButtonWidth + 120, 1800, kButtonWidth, 375}},
};

} // namespace

int RoundToLong(double number)
{
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    // nearbyint rounds halves to even in the default rounding mode.
    return static_cast<int>(std::clamp(std::nearbyint(number), lowest, highest));
}

frmSysBtn::frmSysBtn(QWidget *parent)
    : Page(parent), lblsi(NewControl<QLabel>("lblsi", this)), cboSE(NewControl<QComboBox>("cboSE", this)),
      optSize(NewControl<QRadioButton>("optSize", this)), optPos(NewControl<QRadioButton>("optPos", this)),
      lblX(NewControl<QLabel>("lblX", this)), TxtX(NewControl<QLineEdit>("TxtX", this)),
      lblY(NewControl<QLabel>("lblY", this)), TxtY(NewControl<QLineEdit>("TxtY", this)),
      btnSH(NewControl<QPushButton>("btnSH", this)), btnED(NewControl<QPushButton>("btnED", this)),
      windows_(CurrentShellWindows())
{
    setObjectName(QStringLiteral("frmSysBtn"));
    optSize->setChecked(true);
    TxtX->setText(QLatin1String(kStartNumber));
    TxtY->setText(QLatin1String(kStartNumber));
    lblX->setText(QLatin1String(kXLabel));
    lblY->setText(QLatin1String(kYLabel));

    LayOut(this, kLayout);

    connect(cboSE, &QComboBox::currentIndexChanged, this, &frmSysBtn::cboSE_Click);
    // An option's click is its becoming selected; the one that loses the selection is silent.
    connect(optSize, &QRadioButton::toggled, this, [this](bool on) { on ? optSize_Click() : void(); });
    connect(optPos, &QRadioButton::toggled, this, [this](bool on) { on ? optPos_Click() : void(); });
    connect(TxtX, &QLineEdit::textChanged, this, &frmSysBtn::TxtX_Change);
    connect(TxtY, &QLineEdit::textChanged, this, &frmSysBtn::TxtY_Change);
    connect(btnSH, &QPushButton::clicked, this, &frmSysBtn::btnSH_Click);
    connect(btnED, &QPushButton::clicked, this, &frmSysBtn::btnED_Click);
}

void frmSysBtn::Form_Load()
{
    lblsi->setText(LoadResString(kSelectCaption));
    optSize->setText(LoadResString(kSizeCaption));
    optPos->setText(LoadResString(kPositionCaption));
    btnSH->setText(LoadResString(kShowHideCaption));
    btnED->setText(LoadResString(kEnableDisableCaption));
    {
        // Filling the list selects its first row on the way; the selection counts only once
        // every row is there.
        const QSignalBlocker quiet(cboSE);
        for (const Element &element : kElements)
            cboSE->addItem(LoadResString(element.caption));
        cboSE->setCurrentIndex(-1);
    }
    cboSE->setCurrentIndex(0);
}

win::HWND frmSysBtn::FindElement(int row) const
{
    const Element &element = kElements.at(static_cast<std::size_t>(row));
    win::HWND window = windows_.FindWindowA(element.windowClass, nullptr);
    if (element.childClass)
        window = windows_.FindWindowExA(window, nullptr, element.childClass, nullptr);
    return window;
}

void frmSysBtn::cboSE_Click(int row)
{
    if (row >= 0 && row < static_cast<int>(kElements.size()))
        ElementWnd = FindElement(row);
    ShowPlacement();
}

void frmSysBtn::optSize_Click()
{
    ShowPlacement();
}

void frmSysBtn::optPos_Click()
{
    ShowPlacement();
}

void frmSysBtn::TxtX_Change()
{
    ApplyPlacement();
}

void frmSysBtn::TxtY_Change()
{
    ApplyPlacement();
}

void frmSysBtn::ShowPlacement()
{
    win::WINDOWPLACEMENT placement{};
    placement.length = sizeof(win::WINDOWPLACEMENT);
    // A missing element leaves the record zeroed: the boxes show 0 and 0.
    windows_.GetWindowPlacement(ElementWnd, &placement);
    const win::RECT &normal = placement.rcNormalPosition;
    // Y first: each box applies what it holds as soon as it changes.
    if (optSize->isChecked()) {
        TxtY->setText(QString::number(normal.bottom - normal.top));
        TxtX->setText(QString::number(normal.right - normal.left));
    } else if (optPos->isChecked()) {
        TxtY->setText(QString::number(normal.top));
        TxtX->setText(QString::number(normal.left));
    }
}

void frmSysBtn::ApplyPlacement()
{
    if (optSize->isChecked()) {
        const int width = RoundToLong(std::abs(Val(TxtX->text())));
        const int height = RoundToLong(std::abs(Val(TxtY->text())));
        windows_.SetWindowPos(ElementWnd, HWND_TOP, 0, 0, width, height, kResizeFlags);
    } else if (optPos->isChecked()) {
        const int x = RoundToLong(Val(TxtX->text()));
        const int y = RoundToLong(Val(TxtY->text()));
        windows_.SetWindowPos(ElementWnd, HWND_TOP, x, y, 0, 0, kMoveFlags);
    }
}

void frmSysBtn::btnSH_Click()
{
    windows_.ShowWindow(ElementWnd, windows_.IsWindowVisible(ElementWnd) ? SW_HIDE : SW_SHOWNORMAL);
}

void frmSysBtn::btnED_Click()
{
    windows_.EnableWindow(ElementWnd, windows_.IsWindowEnabled(ElementWnd) ? 0 : 1);
}
