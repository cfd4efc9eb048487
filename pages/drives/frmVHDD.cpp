#include "frmVHDD.h"

#include "DriveFolderList.h"
#include "SaveReport.h"
#include "Strings.h"
#include "images.h"
#include "machine.h"
#include "win32.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace
{

// Command lines; the folder is always quoted, so blanks in it stay part of it.
constexpr auto kMountCommand = "Subst ";
constexpr auto kUnmountCommand = "Subst /D ";
constexpr unsigned kHiddenWindow = 0;
// WinExec returns more than this when the command started.
constexpr unsigned kLastStartError = 31;
// The page stays locked this long after a command, then rebuilds its letter lists.
constexpr int kRefreshDelayMs = 1000;

constexpr char kFirstLetter = 'C';
constexpr char kLastLetter = 'Z';

constexpr int kMountFrameCaption = 361;
constexpr int kUnmountFrameCaption = 362;
constexpr int kMountCaption = 363;
constexpr int kUnmountCaption = 364;
constexpr int kLetterCaption = 365;
constexpr int kHelpCaption = 366;
constexpr int kImageMachineNote = 369;

// Design geometry in twips: the mounting frame on the left with the drive and folder lists
// and, at its bottom, the letter with its button; the unmounting frame on its right with the
// letter and its button at the top and the help text filling the rest.
constexpr int kFrameHeight = 5310;
constexpr int kMountWidth = 4245;
constexpr int kUnmountWidth = 2235;
constexpr int kInner = 120;
constexpr int kBottomRow = 4815;
constexpr Placement kLayout[] = {
    {"frmMount", {120, 120, kMountWidth, kFrameHeight}},
    {"drvTH", {kInner, 240, kMountWidth - 2 * kInner, 315}},
    {"DirTH", {kInner, 615, kMountWidth - 2 * kInner, 4140}},
    {"lblSymb", {kInner, kBottomRow + 45, 1455, 285}},
    {"cbDrive", {1695, kBottomRow + 30, 900, 315}},
    {"cmdMount", {2715, kBottomRow, 1410, 375}},
    {"frmUnMount", {120 + kMountWidth + 120, 120, kUnmountWidth, kFrameHeight}},
    {"lblSymb2", {kInner, 240, kUnmountWidth - 2 * kInner, 255}},
    {"cbUm", {kInner, 555, 900, 315}},
    {"cmdUm", {1140, 525, 975, 375}},
    {"lblHelp", {kInner, 1020, kUnmountWidth - 2 * kInner, kFrameHeight - 1020 - kInner}},
};

} // namespace

frmVHDD::frmVHDD(QWidget *parent)
    : Page(parent), frmMount(NewControl<QGroupBox>("frmMount", this)), drvTH(NewControl<QComboBox>("drvTH", frmMount)),
      DirTH(NewControl<QListWidget>("DirTH", frmMount)), lblSymb(NewControl<QLabel>("lblSymb", frmMount)),
      cbDrive(NewControl<QComboBox>("cbDrive", frmMount)), cmdMount(NewControl<QPushButton>("cmdMount", frmMount)),
      frmUnMount(NewControl<QGroupBox>("frmUnMount", this)), lblSymb2(NewControl<QLabel>("lblSymb2", frmUnMount)),
      cbUm(NewControl<QComboBox>("cbUm", frmUnMount)), cmdUm(NewControl<QPushButton>("cmdUm", frmUnMount)),
      lblHelp(NewControl<QLabel>("lblHelp", frmUnMount)), tmrRefresh(NewControl<QTimer>("tmrRefresh", this))
{
    setObjectName(QStringLiteral("frmVHDD"));
    lblHelp->setWordWrap(true);
    lblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    tmrRefresh->setSingleShot(true);

    LayOut(this, kLayout);

    connect(drvTH, &QComboBox::currentIndexChanged, this, &frmVHDD::drvTH_Change);
    connect(cmdMount, &QPushButton::clicked, this, &frmVHDD::cmdMount_Click);
    connect(cmdUm, &QPushButton::clicked, this, &frmVHDD::cmdUm_Click);
    connect(tmrRefresh, &QTimer::timeout, this, &frmVHDD::tmrRefresh_Timer);
}

void frmVHDD::Form_Load()
{
    // The folder list opens on the drive list's drive.
    folders_ = new DriveFolderList(drvTH, DirTH);

    frmMount->setTitle(LoadResString(kMountFrameCaption));
    frmUnMount->setTitle(LoadResString(kUnmountFrameCaption));
    cmdMount->setText(LoadResString(kMountCaption));
    cmdUm->setText(LoadResString(kUnmountCaption));
    lblSymb->setText(LoadResString(kLetterCaption));
    lblSymb2->setText(LoadResString(kLetterCaption));
    lblHelp->setText(LoadResString(kHelpCaption));

    FillDriveLists();
    SetCommandsEnabled(true);
    // A guest in a disk image is not running: there is no Subst to run in it and no drive to
    // show. Its drives come from the auto-mount list at its next log-on.
    if (win::IsImageMachine()) {
        lblHelp->setText(LoadResString(kImageMachineNote));
        SetCommandsEnabled(false);
    }
}

void frmVHDD::FillDriveLists()
{
    cbDrive->clear();
    cbUm->clear();
    for (char letter = kFirstLetter; letter <= kLastLetter; ++letter) {
        const QString drive = QChar::fromLatin1(letter) + QLatin1Char(':');
        const QByteArray root = (drive + QLatin1Char('\\')).toLatin1();
        const win::UINT type = win::GetDriveTypeA(root.constData());
        if (type == DRIVE_NO_ROOT_DIR)
            cbDrive->addItem(drive);
        else if (type == DRIVE_FIXED)
            cbUm->addItem(drive);
    }
    if (cbDrive->count() > 0)
        cbDrive->setCurrentIndex(0);
    if (cbUm->count() > 0)
        cbUm->setCurrentIndex(0);
}

void frmVHDD::drvTH_Change()
{
    // A drive that is not ready leaves the folder list where it was.
    if (folders_)
        folders_->SetPath(folders_->Drive() + QLatin1Char('\\'));
}

void frmVHDD::cmdMount_Click()
{
    RunSubst(QLatin1String(kMountCommand) + cbDrive->currentText() + QLatin1String(" \"") + folders_->SelectedFolder() +
             QLatin1Char('"'));
}

void frmVHDD::cmdUm_Click()
{
    RunSubst(QLatin1String(kUnmountCommand) + cbUm->currentText());
}

void frmVHDD::RunSubst(const QString &commandLine)
{
    if (win::IsImageMachine())
        return;
    {
        // Subst itself tells nothing back; only a command that could not be started is a
        // failure to report. The rebuilt lists show what it did.
        SaveReport report(this);
        const win::UINT started = win::WinExec(commandLine.toUtf8().constData(), kHiddenWindow);
        Writes::Note(started > kLastStartError ? ERROR_SUCCESS : static_cast<long>(started), commandLine);
    }
    SetCommandsEnabled(false);
    tmrRefresh->start(kRefreshDelayMs);
}

void frmVHDD::tmrRefresh_Timer()
{
    tmrRefresh->stop();
    FillDriveLists();
    SetCommandsEnabled(true);
}

void frmVHDD::SetCommandsEnabled(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *>{cmdUm, cbDrive, cbUm})
        control->setEnabled(enabled);
    // No free letter: there is nothing to mount on.
    cmdMount->setEnabled(enabled && cbDrive->count() > 0);
}
