#include "frmShell32.h"

#include "DialogBox.h"
#include "Module.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace
{

// HKEY_LOCAL_MACHINE; one REG_SZ icon location per replaced index, named by the index.
constexpr auto kShellIconsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\Shell Icons";
constexpr auto kShellFileName = "\\shell32.dll";
constexpr auto kChosenIconIndex = ",0";

// Icon i of shell32.dll is named by string kFirstIconName + i up to kLastNamedIcon; the rest are
// all "Other".
constexpr int kFirstIconName = 400;
constexpr int kLastNamedIcon = 46;
constexpr int kOtherIconName = 447;

constexpr int kChangeCaption = 123;
constexpr int kDefaultCaption = 396;
constexpr int kReplaceQuestion = 397;
constexpr int kRestoreQuestion = 448;
constexpr int kBrowseTitle = 125;
constexpr auto kIconFilter = "Icon files (*.ico)|*.ico";

// Design geometry in twips: the list takes the left half of the page less 120 and its whole
// height; the picture and the buttons stand centred on the line at three quarters of the width.
constexpr int kDesignWidth = 6000;
constexpr int kDesignHeight = 4200;
constexpr int kRightCentre = kDesignWidth * 3 / 4;
constexpr int kPicture = 32 * 15;
constexpr int kButtonWidth = 1700;
constexpr Follow kHalfAndFullHeight{0, 0.5f, 0, 1};
constexpr Follow kThreeQuarters{0.75f, 0, 0, 0};
constexpr Placement kLayout[] = {
    {"lstSI", {0, 0, kDesignWidth / 2 - 120, kDesignHeight}, kHalfAndFullHeight},
    {"picI", {kRightCentre - kPicture / 2, 120, kPicture, kPicture}, kThreeQuarters},
    {"cmdCH", {kRightCentre - kButtonWidth / 2, 720, kButtonWidth, 375}, kThreeQuarters},
    {"cmdBack", {kRightCentre - kButtonWidth / 2, 1215, kButtonWidth, 375}, kThreeQuarters},
};

QString ShellIconsKey()
{
    return QLatin1String(kShellIconsKey);
}

// The index of an icon location's number part as Windows programs of the era read a number:
// leading blanks skipped, reading stops where the number cannot go on, no digits give 0, and
// a fraction is rounded.
int IconIndexOf(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+))"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return 0;
    const double value = std::nearbyint(match.captured(1).toDouble());
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(value, lowest, highest));
}

} // namespace

frmShell32::frmShell32(QWidget *parent)
    : Page(parent), lstSI(NewControl<QListWidget>("lstSI", this)), picI(NewControl<QLabel>("picI", this)),
      cmdCH(NewControl<QPushButton>("cmdCH", this)), cmdBack(NewControl<QPushButton>("cmdBack", this))
{
    setObjectName(QStringLiteral("frmShell32"));
    picI->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LayOut(this, kLayout, kDesignWidth, kDesignHeight);
    cmdBack->setVisible(false);

    connect(lstSI, &QListWidget::currentRowChanged, this, &frmShell32::lstSI_Click);
    connect(cmdCH, &QPushButton::clicked, this, &frmShell32::cmdCH_Click);
    connect(cmdBack, &QPushButton::clicked, this, &frmShell32::cmdBack_Click);
}

void frmShell32::Form_Load()
{
    cmdCH->setText(LoadResString(kChangeCaption));
    cmdBack->setText(LoadResString(kDefaultCaption));
    lstSI->clear();

    shellFile_ = Module::SystemDirectory() + QLatin1String(kShellFileName);
    // Every icon the file holds is listed (Wine's shell32.dll has hundreds); a missing file or
    // one without icons gives an empty list.
    lastIndex_ = Module::DrawFileIcon(shellFile_, -1, nullptr) - 1;
    const QString other = LoadResString(kOtherIconName);
    QStringList entries;
    entries.reserve(std::max(lastIndex_ + 1, 0));
    for (int i = 0; i <= lastIndex_; ++i) {
        const QString name = i <= kLastNamedIcon ? LoadResString(kFirstIconName + i) : other;
        entries.append(QString::number(i) + QLatin1Char('\t') + name);
    }
    lstSI->addItems(entries);

    currentIndex_ = 0;
    ShowSystemIcon();
}

void frmShell32::lstSI_Click()
{
    // Emptying the list leaves no row selected; that selects nothing.
    if (lstSI->currentRow() < 0)
        return;
    currentIndex_ = lstSI->currentRow();
    ShowSystemIcon();
}

void frmShell32::ShowSystemIcon()
{
    const QString valueName = QString::number(currentIndex_);
    picI->clear();
    QString location;
    if (Reg::GetValue(HKEY_LOCAL_MACHINE, ShellIconsKey(), valueName, location)) {
        // The file part never holds a comma: the location splits at its first one.
        const qsizetype comma = location.indexOf(QLatin1Char(','));
        const QString file = comma < 0 ? location : location.left(comma);
        const int index = comma < 0 ? 0 : IconIndexOf(location.mid(comma + 1));
        Module::DrawFileIcon(file, index, picI);
        cmdBack->setVisible(true);
    } else {
        // No icons at all: nothing to draw for an index the file lacks.
        if (currentIndex_ <= lastIndex_)
            Module::DrawFileIcon(shellFile_, currentIndex_, picI);
        cmdBack->setVisible(false);
    }
}

void frmShell32::cmdCH_Click()
{
    const QString chosen = DialogBox().OpenFile(LoadResString(kBrowseTitle), QLatin1String(kIconFilter));
    if (chosen.isEmpty())
        return;
    if (!Module::AskSaveChanges(LoadResString(kReplaceQuestion)))
        return;
    {
        SaveReport report(this);
        Reg::SetString(HKEY_LOCAL_MACHINE, ShellIconsKey(), QString::number(currentIndex_),
                       chosen + QLatin1String(kChosenIconIndex));
    }
    ShowSystemIcon();
}

void frmShell32::cmdBack_Click()
{
    if (!Module::AskSaveChanges(LoadResString(kRestoreQuestion)))
        return;
    {
        SaveReport report(this);
        Reg::DeleteValue(HKEY_LOCAL_MACHINE, ShellIconsKey(), QString::number(currentIndex_));
    }
    ShowSystemIcon();
}
