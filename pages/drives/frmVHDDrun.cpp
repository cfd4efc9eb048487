#include "frmVHDDrun.h"

#include "Module.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"
#include "files.h"
#include "win32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>
#include <string>
#include <vector>

namespace
{

constexpr auto kListFileName = "\\Tolvane.ini";
constexpr auto kProgramFileName = "\\Tolvane.exe";
constexpr auto kProgramResource = ":/CUSTOM/TOLVANE";
// The Run value that starts Tolvane at log-on; the bare file name, found on the search path.
constexpr auto kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr auto kRunValue = "Tolvane";
constexpr auto kRunData = "Tolvane.exe";

// An entry line: the drive ("E:") and directly after it the folder. A line is one whole field,
// so a folder with a comma stays one entry; a shorter line holds no drive and is skipped (Tolvane
// reads the file by the same rule).
constexpr int kDriveLength = 2;
// Letters offered for an entry; C: is the system drive and never offered.
constexpr char kFirstFreeLetter = 'D';
constexpr char kLastLetter = 'Z';

constexpr int kAutorunCaption = 370;
constexpr int kNewCaption = 371;
constexpr int kEditCaption = 372;
constexpr int kDeleteCaption = 373;
constexpr int kSaveCaption = 374;
constexpr int kCancelCaption = 375;
constexpr int kDriveCaption = 376;
constexpr int kFolderCaption = 377;

// Design geometry in twips.
constexpr int kLeft = 120;
constexpr int kTop = 120;
constexpr int kDesignWidth = 6480;
constexpr int kGap = 120;
constexpr int kDriveColumnWidth = 975;

// The drive and the folder of one panel, caption above each, the folder taking the width.
QGridLayout *EntryLayout(QGroupBox *frame, QLabel *driveLabel, QWidget *drive, QLabel *folderLabel, QWidget *folder)
{
    auto *grid = new QGridLayout(frame);
    grid->addWidget(driveLabel, 0, 0);
    grid->addWidget(folderLabel, 0, 1);
    grid->addWidget(drive, 1, 0);
    grid->addWidget(folder, 1, 1);
    grid->setColumnMinimumWidth(0, TwipsToPixelsX(kDriveColumnWidth, frame));
    grid->setColumnStretch(1, 1);
    return grid;
}

void AddButtonRow(QGridLayout *grid, std::initializer_list<QPushButton *> buttons)
{
    auto *row = new QHBoxLayout;
    for (QPushButton *button : buttons)
        row->addWidget(button);
    row->addStretch(1);
    grid->addLayout(row, 2, 0, 1, 2);
}

} // namespace

frmVHDDrun::frmVHDDrun(QWidget *parent)
    : Page(parent), chkAutorun(NewControl<QCheckBox>("chkAutorun", this)),
      frameO(NewControl<QGroupBox>("frameO", this)), Label1(NewControl<QLabel>("Label1", frameO)),
      cboD(NewControl<QComboBox>("cboD", frameO)), Label2(NewControl<QLabel>("Label2", frameO)),
      txtP(NewControl<QLineEdit>("txtP", frameO)), btnN(NewControl<QPushButton>("btnN", frameO)),
      btnS(NewControl<QPushButton>("btnS", frameO)), btnD(NewControl<QPushButton>("btnD", frameO)),
      FrameN(NewControl<QGroupBox>("FrameN", this)), Label3(NewControl<QLabel>("Label3", FrameN)),
      cbodN(NewControl<QComboBox>("cbodN", FrameN)), Label4(NewControl<QLabel>("Label4", FrameN)),
      txtpN(NewControl<QLineEdit>("txtpN", FrameN)), btnsN(NewControl<QPushButton>("btnsN", FrameN)),
      btnC(NewControl<QPushButton>("btnC", FrameN)), cboP(NewControl<QComboBox>("cboP", this))
{
    setObjectName(QStringLiteral("frmVHDDrun"));
    txtP->setReadOnly(true);
    cboP->hide();
    // Checked in the design: loading unticks it when Tolvane is not registered.
    chkAutorun->setChecked(true);

    AddButtonRow(EntryLayout(frameO, Label1, cboD, Label2, txtP), {btnN, btnS, btnD});
    AddButtonRow(EntryLayout(FrameN, Label3, cbodN, Label4, txtpN), {btnsN, btnC});
    TwipsColumn column(this, kLeft, kTop, kDesignWidth);
    column.Place(chkAutorun, kGap);
    column.Place(frameO, kGap, frameO->sizeHint().height());
    column.Place(FrameN, 0, FrameN->sizeHint().height());

    connect(chkAutorun, &QCheckBox::toggled, this, &frmVHDDrun::chkAutorun_Click);
    connect(cboD, &QComboBox::currentIndexChanged, this, &frmVHDDrun::cboD_Click);
    connect(btnN, &QPushButton::clicked, this, &frmVHDDrun::btnN_Click);
    connect(btnS, &QPushButton::clicked, this, &frmVHDDrun::btnS_Click);
    connect(btnD, &QPushButton::clicked, this, &frmVHDDrun::btnD_Click);
    connect(btnsN, &QPushButton::clicked, this, &frmVHDDrun::btnsN_Click);
    connect(btnC, &QPushButton::clicked, this, &frmVHDDrun::btnC_Click);
}

bool frmVHDDrun::in_list(const QString &sil) const
{
    return cboD->findText(sil, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0;
}

void frmVHDDrun::Form_Load()
{
    IniPath = Module::SystemDirectory() + QLatin1String(kListFileName);
    FrameN->hide();
    QString ignored;
    loading_ = true;
    chkAutorun->setChecked(
        Reg::GetValue(HKEY_LOCAL_MACHINE, QLatin1String(kRunKey), QLatin1String(kRunValue), ignored));
    loading_ = false;
    LoadMountList();
    EditMode = false;

    chkAutorun->setText(LoadResString(kAutorunCaption));
    btnN->setText(LoadResString(kNewCaption));
    btnS->setText(LoadResString(kEditCaption));
    btnD->setText(LoadResString(kDeleteCaption));
    btnsN->setText(LoadResString(kSaveCaption));
    btnC->setText(LoadResString(kCancelCaption));
    Label1->setText(LoadResString(kDriveCaption));
    Label2->setText(LoadResString(kFolderCaption));
    Label3->setText(LoadResString(kDriveCaption));
    Label4->setText(LoadResString(kFolderCaption));
    chkAutorun->resize(std::max(chkAutorun->width(), chkAutorun->sizeHint().width()), chkAutorun->height());
}

void frmVHDDrun::Form_Resize()
{
    const int frameWidth = std::max(0, width() - 2 * TwipsToPixelsX(kLeft, this));
    for (QGroupBox *frame : {frameO, FrameN})
        if (frame->width() != frameWidth)
            frame->resize(frameWidth, frame->height());
}

void frmVHDDrun::chkAutorun_Click()
{
    // Loading unticks the box without the user asking for anything: its delete of the absent
    // value is no change to report.
    std::optional<SaveReport> report;
    if (!loading_)
        report.emplace(this);
    if (chkAutorun->isChecked()) {
        InstallTolvane();
        Reg::SetString(HKEY_LOCAL_MACHINE, QLatin1String(kRunKey), QLatin1String(kRunValue), QLatin1String(kRunData));
        frameO->show();
    } else {
        // Tolvane.exe and the list stay in the system directory for the next time.
        Reg::DeleteValue(HKEY_LOCAL_MACHINE, QLatin1String(kRunKey), QLatin1String(kRunValue));
        frameO->hide();
    }
}

void frmVHDDrun::InstallTolvane()
{
    const QString programPath = Module::SystemDirectory() + QLatin1String(kProgramFileName);
    // A Tolvane.exe already there (a hidden one too) is left as it is.
    if (win::FileExists(Ansi(programPath)))
        return;
    QFile resource{QLatin1String(kProgramResource)};
    const QByteArray program = resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
    // On Unix the embedded program is native: Wine starts it at log-on when it may execute.
    const bool written = !program.isEmpty() && win::WriteWholeFile(Ansi(programPath), program.toStdString(), true);
    Writes::NoteLastError(written, programPath);
}

void frmVHDDrun::cboD_Click()
{
    const int index = cboD->currentIndex();
    if (index < 0)
        return;
    txtP->setText(cboP->itemText(index));
    CurIndex = index;
}

void frmVHDDrun::SelectEntry(int index)
{
    if (cboD->currentIndex() == index)
        cboD_Click();
    else
        cboD->setCurrentIndex(index);
}

void frmVHDDrun::LoadMountList()
{
    cboP->clear();
    cboD->clear();
    std::vector<std::string> lines;
    if (win::IsNormalFile(Ansi(IniPath)))
        win::ReadTextLines(Ansi(IniPath), lines);
    {
        // The entries appear together; selecting the first one below shows its folder.
        const QSignalBlocker blocker(cboD);
        for (const std::string &line : lines) {
            const QString entry = QString::fromUtf8(line);
            if (entry.size() < kDriveLength)
                continue;
            cboD->addItem(entry.left(kDriveLength));
            cboP->addItem(entry.mid(kDriveLength));
        }
    }
    if (cboD->count() > 0)
        SelectEntry(0);
    btnS->setEnabled(cboD->count() > 0);
}

void frmVHDDrun::SaveMountList()
{
    std::vector<std::string> lines;
    for (int i = 0; i < cboD->count(); ++i)
        lines.push_back(Ansi(cboD->itemText(i) + cboP->itemText(i)));
    Writes::NoteLastError(win::WriteTextLines(Ansi(IniPath), lines), IniPath);
    btnS->setEnabled(cboD->count() > 0);
}

void frmVHDDrun::FillFreeLetters()
{
    cbodN->clear();
    if (EditMode)
        cbodN->addItem(cboD->itemText(CurIndex));
    for (char letter = kFirstFreeLetter; letter <= kLastLetter; ++letter) {
        const QString drive = QChar::fromLatin1(letter) + QLatin1Char(':');
        const std::string root = Ansi(drive + QLatin1Char('\\'));
        if (win::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR && !in_list(drive))
            cbodN->addItem(drive);
    }
    if (cbodN->count() > 0)
        cbodN->setCurrentIndex(0);
}

void frmVHDDrun::ShowEditor(bool editing)
{
    frameO->hide();
    chkAutorun->setEnabled(false);
    FrameN->show();
    EditMode = editing;
    FillFreeLetters();
}

void frmVHDDrun::CloseEditor()
{
    FrameN->hide();
    frameO->show();
    chkAutorun->setEnabled(true);
}

void frmVHDDrun::btnN_Click()
{
    // The folder field keeps what it held.
    ShowEditor(false);
}

void frmVHDDrun::btnS_Click()
{
    if (cboD->count() == 0)
        return;
    txtpN->setText(txtP->text());
    ShowEditor(true);
}

void frmVHDDrun::btnC_Click()
{
    CloseEditor();
}

void frmVHDDrun::btnsN_Click()
{
    // An entry without a letter or a folder would mount nothing: the editor stays open.
    if (cbodN->currentText().isEmpty() || txtpN->text().isEmpty())
        return;
    SaveReport report(this);
    CloseEditor();
    if (EditMode) {
        cboP->removeItem(CurIndex);
        cboD->removeItem(CurIndex);
    }
    cboP->addItem(txtpN->text());
    cboD->addItem(cbodN->currentText());
    SelectEntry(0);
    SaveMountList();
}

void frmVHDDrun::btnD_Click()
{
    SaveReport report(this);
    if (cboD->count() > 0) {
        cboP->removeItem(CurIndex);
        cboD->removeItem(CurIndex);
        if (cboD->count() > 0)
            SelectEntry(0);
        else
            txtP->clear();
    }
    SaveMountList();
}
