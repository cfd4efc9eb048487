#include "frmDrvIco.h"

#include "DialogBox.h"
#include "DriveFolderList.h"
#include "Module.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <initializer_list>

namespace
{

// HKEY_LOCAL_MACHINE; the drive letter, in capitals, goes between these two.
constexpr auto kDriveIconsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\DriveIcons\\";
constexpr auto kDefaultIconSubKey = "\\DefaultIcon";
// Shown when the drive has no icon of its own; Apply stays off while it is shown.
constexpr auto kNoIcon = "None";
constexpr auto kIconFilter = "Icon Files (*.ico)|*.ico";

constexpr int kApplyCaption = 130;
constexpr int kDriveCaption = 160;
constexpr int kIconCaption = 161;
constexpr int kBrowseTitle = 162;
constexpr int kHelpCaption = 163;

// Design geometry in twips: one column as wide as the page less 60; the icon's box leaves room
// for the browse button, Apply is centred.
constexpr int kLeft = 30;
constexpr int kWidth = 4800;
constexpr int kPathWidth = kWidth - 440;
constexpr int kApplyWidth = 1215;
constexpr Placement kLayout[] = {
    {"lblCDrv", {kLeft, 120, kWidth, 255}, kWidens},
    {"Drv", {kLeft, 435, kWidth, 315}, kWidens},
    {"lblCIco", {kLeft, 930, kWidth, 255}, kWidens},
    {"txtIcoP", {kLeft, 1245, kPathWidth, 285}, kWidens},
    {"cmdbrowse", {kLeft + kPathWidth + 60, 1245, 285, 285}},
    {"lblHelp", {kLeft, 1710, kWidth, 585}, kWidens},
    {"cmdAP", {kLeft + (kWidth - kApplyWidth) / 2, 2475, kApplyWidth, 375}, kCentred},
};

} // namespace

frmDrvIco::frmDrvIco(QWidget *parent)
    : Page(parent), lblCDrv(NewControl<QLabel>("lblCDrv", this)), Drv(NewControl<QComboBox>("Drv", this)),
      lblCIco(NewControl<QLabel>("lblCIco", this)), txtIcoP(NewControl<QLineEdit>("txtIcoP", this)),
      cmdbrowse(NewControl<QPushButton>("cmdbrowse", this)), lblHelp(NewControl<QLabel>("lblHelp", this)),
      cmdAP(NewControl<QPushButton>("cmdAP", this))
{
    setObjectName(QStringLiteral("frmDrvIco"));
    txtIcoP->setText(QLatin1String(kNoIcon));
    cmdbrowse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    lblHelp->setWordWrap(true);
    lblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The machine's drives as Windows lists them, starting on the system drive.
    DriveFolderList::FillDrives(Drv);

    LayOut(this, kLayout);

    connect(Drv, &QComboBox::currentIndexChanged, this, &frmDrvIco::Drv_Change);
    connect(cmdbrowse, &QPushButton::clicked, this, &frmDrvIco::cmdbrowse_Click);
    connect(cmdAP, &QPushButton::clicked, this, &frmDrvIco::cmdAP_Click);
}

void frmDrvIco::Form_Load()
{
    lblCDrv->setText(LoadResString(kDriveCaption));
    lblCIco->setText(LoadResString(kIconCaption));
    lblHelp->setText(LoadResString(kHelpCaption));
    cmdAP->setText(LoadResString(kApplyCaption));
    cmdAP->setEnabled(false);
    Drv_Change();
}

QString frmDrvIco::DefaultIconKey() const
{
    // "c:" or "c: [label]" gives C: the shell looks the letter up in capitals.
    const QString letter = Drv->currentText().left(1).toUpper();
    return QLatin1String(kDriveIconsKey) + letter + QLatin1String(kDefaultIconSubKey);
}

void frmDrvIco::Drv_Change()
{
    QString icon;
    Reg::GetValue(HKEY_LOCAL_MACHINE, DefaultIconKey(), QString(), icon);
    // An empty value is no icon either.
    cmdAP->setEnabled(!icon.isEmpty());
    txtIcoP->setText(icon.isEmpty() ? QLatin1String(kNoIcon) : icon);
}

void frmDrvIco::cmdbrowse_Click()
{
    const QString chosen = DialogBox().OpenFile(LoadResString(kBrowseTitle), QLatin1String(kIconFilter));
    // Cancelling drops what the box showed, also a stored icon; the registry keeps it.
    cmdAP->setEnabled(!chosen.isEmpty());
    txtIcoP->setText(chosen.isEmpty() ? QLatin1String(kNoIcon) : chosen);
}

void frmDrvIco::cmdAP_Click()
{
    if (!Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    // Written as the box holds it: a location typed by hand ("shell32.dll,8") is not checked.
    Reg::SetString(HKEY_LOCAL_MACHINE, DefaultIconKey(), QString(), txtIcoP->text());
}
