#include "frmVHDDrun.h"

#include "Module.h"
#include "MountLine.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"
#include "TolvanePrograms.h"
#include "files.h"
#include "images.h"
#include "machine.h"
#include "win32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace
{

constexpr auto kListFileName = "\\Tolvane.ini";
constexpr auto kProgramFileName = "\\Tolvane.exe";
// The Run value that starts Tolvane at log-on; the bare file name, found on the search path.
constexpr auto kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr auto kRunValue = "Tolvane";
constexpr auto kRunData = "Tolvane.exe";

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
constexpr int kNotAFolderMessage = 378;
constexpr int kTitle = 101;

// Design geometry in twips: the box at the top, the two panels below it across the page; in
// each panel the drive and the folder with their captions above them, the folder taking the
// width, and the buttons in a row.
constexpr int kLeft = 120;
constexpr int kWidth = 6480;
constexpr int kDriveWidth = 975;
constexpr int kFolderLeft = kLeft + kDriveWidth + 120;
constexpr int kFolderWidth = kWidth - kFolderLeft - kLeft;
constexpr int kPanelHeight = 1425;
constexpr int kButtonWidth = 1215;
constexpr int kButtonStep = kButtonWidth + 120;
constexpr Placement kLayout[] = {
    {"chkAutorun", {kLeft, 120, kWidth, 255}},
    {"frameO", {kLeft, 495, kWidth, kPanelHeight}, kWidens},
    {"Label1", {kLeft, 240, kDriveWidth, 255}},
    {"Label2", {kFolderLeft, 240, kFolderWidth, 255}, kWidens},
    {"cboD", {kLeft, 495, kDriveWidth, 315}},
    {"txtP", {kFolderLeft, 495, kFolderWidth, 285}, kWidens},
    {"btnN", {kLeft, 930, kButtonWidth, 375}},
    {"btnS", {kLeft + kButtonStep, 930, kButtonWidth, 375}},
    {"btnD", {kLeft + 2 * kButtonStep, 930, kButtonWidth, 375}},
    {"FrameN", {kLeft, 495 + kPanelHeight + 120, kWidth, kPanelHeight}, kWidens},
    {"Label3", {kLeft, 240, kDriveWidth, 255}},
    {"Label4", {kFolderLeft, 240, kFolderWidth, 255}, kWidens},
    {"cbodN", {kLeft, 495, kDriveWidth, 315}},
    {"txtpN", {kFolderLeft, 495, kFolderWidth, 285}, kWidens},
    {"btnsN", {kLeft, 930, kButtonWidth, 375}},
    {"btnC", {kLeft + kButtonStep, 930, kButtonWidth, 375}},
};

// Tolvane.ini's text as the page shows it, and a line the user typed as it is stored. Lines the
// user did not touch keep their bytes, whatever these two do.
QString ListText(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ListBytes(const QString &text)
{
    return text.toUtf8().toStdString();
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

    LayOut(this, kLayout);

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
    // A Windows 95/98/ME guest in a disk image runs the 32-bit Windows build; a Wine prefix
    // (whatever version it reports) keeps the native one, which Wine starts at log-on.
    const TolvanePrograms::Build build =
        win::IsImageMachine() ? TolvanePrograms::Build::Windows9x : TolvanePrograms::Build::Native;
    QFile resource{QLatin1String(TolvanePrograms::ResourcePath(build))};
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
    lines_.clear();
    {
        // The entries appear together; selecting the first one below shows its folder. Lines
        // are read by Tolvane's rule, so the page shows exactly what Tolvane mounts; the others
        // are kept for the file all the same.
        const QSignalBlocker blocker(cboD);
        for (std::string &line : lines) {
            const MountLine::Entry entry = MountLine::ParseLine(line);
            if (entry) {
                cboD->addItem(ListText(entry.drive));
                cboP->addItem(ListText(entry.folder));
            }
            lines_.push_back({std::move(line), static_cast<bool>(entry)});
        }
    }
    if (cboD->count() > 0)
        SelectEntry(0);
    btnS->setEnabled(cboD->count() > 0);
}

std::size_t frmVHDDrun::LineOfEntry(int index) const
{
    int entries = -1;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].entry && ++entries == index)
            return i;
    return lines_.size();
}

void frmVHDDrun::RemoveEntry(int index)
{
    if (const std::size_t line = LineOfEntry(index); line < lines_.size())
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line));
    cboP->removeItem(index);
    cboD->removeItem(index);
}

void frmVHDDrun::SaveMountList()
{
    std::vector<std::string> lines;
    lines.reserve(lines_.size());
    for (const ListLine &line : lines_)
        lines.push_back(line.bytes);
    // After a failed write the page shows what the file still holds, not the change.
    if (!Writes::NoteLastError(win::WriteTextLines(Ansi(IniPath), lines), IniPath))
        LoadMountList();
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
    const QString typed = cbodN->currentText() + txtpN->text();
    // An entry saved as it was shown keeps its own bytes, in whatever encoding they are.
    const bool unchanged = EditMode && typed == cboD->itemText(CurIndex) + cboP->itemText(CurIndex);
    std::string line = unchanged ? lines_[LineOfEntry(CurIndex)].bytes : ListBytes(typed);
    // Tolvane skips a line its rule rejects: say so now rather than store an entry never mounted.
    if (!MountLine::ParseLine(line)) {
        QMessageBox::warning(this, LoadResString(kTitle), LoadResString(kNotAFolderMessage));
        return;
    }
    SaveReport report(this);
    CloseEditor();
    if (EditMode)
        RemoveEntry(CurIndex);
    lines_.push_back({std::move(line), true});
    cboP->addItem(txtpN->text());
    cboD->addItem(cbodN->currentText());
    SelectEntry(0);
    SaveMountList();
}

void frmVHDDrun::btnD_Click()
{
    SaveReport report(this);
    if (cboD->count() > 0) {
        RemoveEntry(CurIndex);
        if (cboD->count() > 0)
            SelectEntry(0);
        else
            txtP->clear();
    }
    SaveMountList();
}
