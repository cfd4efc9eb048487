#include "frmVHDD.h"

#include "DriveFolderList.h"
#include "SaveReport.h"
#include "Strings.h"
#include "win32.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

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

// Design geometry in twips.
constexpr int kLeft = 120;
constexpr int kTop = 120;
constexpr int kGap = 120;
constexpr int kMountFrameWidth = 4245;
constexpr int kUnmountFrameWidth = 2235;
constexpr int kFolderListHeight = 4140;

QHBoxLayout *Row(std::initializer_list<QWidget *> controls)
{
    auto *row = new QHBoxLayout;
    for (QWidget *control : controls)
        row->addWidget(control);
    return row;
}

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
    DirTH->setFixedHeight(TwipsToPixelsY(kFolderListHeight, this));
    lblHelp->setWordWrap(true);
    lblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    tmrRefresh->setSingleShot(true);

    auto *mount = new QVBoxLayout(frmMount);
    mount->addWidget(drvTH);
    mount->addWidget(DirTH);
    mount->addLayout(Row({lblSymb, cbDrive, cmdMount}));
    auto *unmount = new QVBoxLayout(frmUnMount);
    unmount->addWidget(lblSymb2);
    unmount->addLayout(Row({cbUm, cmdUm}));
    unmount->addWidget(lblHelp, 1);

    const int height = frmMount->sizeHint().height();
    frmMount->setGeometry(TwipsToPixelsX(kLeft, this), TwipsToPixelsY(kTop, this),
                          TwipsToPixelsX(kMountFrameWidth, this), height);
    frmUnMount->setGeometry(frmMount->geometry().right() + TwipsToPixelsX(kGap, this), frmMount->y(),
                            TwipsToPixelsX(kUnmountFrameWidth, this), height);

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
