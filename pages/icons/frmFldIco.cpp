#include "frmFldIco.h"

#include "DialogBox.h"
#include "DriveFolderList.h"
#include "IconPictures.h"
#include "Module.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"
#include "files.h"
#include "win32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <initializer_list>
#include <vector>

namespace
{

// The copy counter: the number in the name of the latest icon copy, HKEY_LOCAL_MACHINE REG_DWORD.
constexpr auto kCounterKey = "Software\\Halvorn\\Korvex";
constexpr auto kCounterValue = "IconCount";
constexpr auto kCopyStem = "KorvFld";
constexpr auto kCopyExtension = ".ico";

// What the shell reads in the folder's Desktop.ini, in the order the page writes it.
constexpr auto kDesktopIni = "\\Desktop.ini";
constexpr auto kSection = ".ShellClassInfo";
constexpr auto kIconFileKey = "IconFile";
struct IniSetting {
    const char *key;
    const char *value;
};
constexpr std::array<IniSetting, 3> kFixedSettings{{{"IconIndex", "0"}, {"OriginalIcon", "%"}, {"ConfirmFileOp", "0"}}};
// "IconFile" reads as this when the file, the section or the key is missing.
constexpr auto kNoIconFile = "0";
// Windows programs of the era read "IconFile" into 127 characters, so 126 arrive at most.
constexpr int kIconFileBufferSize = 127;

// The icon file becomes hidden and system, the folder system only; removing clears them all.
constexpr win::DWORD kIconFileAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr win::DWORD kFolderAttributes = FILE_ATTRIBUTE_SYSTEM;
constexpr win::DWORD kNoAttributes = 0;

constexpr auto kFallbackIcon = "FOLDER";
constexpr auto kIconFilter = "Icon Files(*.ico)|*.ico";
constexpr auto kFallbackRoot = "c:\\";
// A drive root ("C:\") is three characters; only longer paths get an icon.
constexpr int kShortestFolder = 4;
constexpr int kShortestChoice = 4;

constexpr int kFirstHeading = 120;
constexpr int kApplyCaption = 123;
constexpr int kCopyCaption = 124;
constexpr int kBrowseTitle = 125;
constexpr int kApplyQuestion = 126;
constexpr int kRemoveCaption = 128;

// Design geometry in twips: the folder's icon with the drive list beside it, the folder list
// below taking half the page's height, then the icon file, the copy box, the two buttons either
// side of the centre line and the help text.
constexpr int kLeft = 60;
constexpr int kDriveLeft = 600;
constexpr int kWidth = 4800;
constexpr int kDriveWidth = kWidth + kLeft - kDriveLeft;
constexpr int kPathWidth = kWidth - 380;
constexpr int kIcon = 32 * 15;
constexpr int kButtonWidth = 1700;
constexpr int kCentre = (kLeft + kWidth + kLeft) / 2;
constexpr Follow kListFollow{0, 1, 0, 0.5f}; // half the page's height
constexpr Placement kLayout[] = {
    {"curIco", {kLeft, 60, kIcon, kIcon}},
    {"lbl_0", {kDriveLeft, 60, kDriveWidth, 255}, kWidens},
    {"Drv", {kDriveLeft, 315, kDriveWidth, 315}, kWidens},
    {"Dir1", {kLeft, 690, kWidth, 2400}, kListFollow},
    {"lbl_1", {kLeft, 3180, kWidth, 255}, kWidens},
    {"txtIco", {kLeft, 3435, kPathWidth, 285}, kWidens},
    {"cmdbrowse", {kLeft + kPathWidth + 30, 3435, 285, 285}},
    {"chk", {kLeft, 3780, kWidth, 255}, kWidens},
    {"cdmApply", {kCentre - 50 - kButtonWidth, 4155, kButtonWidth, 375}, kCentred},
    {"cmdNoIco", {kCentre + 50, 4155, kButtonWidth, 375}, kCentred},
    {"lbl_2", {kLeft, 4650, kWidth, 780}, kWidens},
};

// Desktop.ini with all its keys in one replace of the file, so that a failed write leaves the
// old file whole rather than an "IconFile" without the rest.
bool WriteDesktopIni(const QString &iniFile, const QString &iconFile)
{
    std::vector<win::ProfileString> strings{{kIconFileKey, Ansi(iconFile)}};
    for (const IniSetting &setting : kFixedSettings)
        strings.push_back({setting.key, setting.value});
    return Writes::NoteLastError(win::SetProfileStrings(Ansi(iniFile), kSection, strings),
                                 iniFile + QStringLiteral(" [") + QLatin1String(kSection) + QLatin1Char(']'));
}

void SetAttributes(const QString &path, win::DWORD attributes)
{
    Writes::NoteLastError(win::SetFileAttributesA(Ansi(path).c_str(), attributes), path);
}

bool Exists(const QString &windowsPath)
{
    return win::FileExists(windowsPath.toStdString());
}

} // namespace

frmFldIco::frmFldIco(QWidget *parent)
    : Page(parent), lbl{NewControl<QLabel>("lbl_0", this), NewControl<QLabel>("lbl_1", this),
                        NewControl<QLabel>("lbl_2", this)},
      Drv(NewControl<QComboBox>("Drv", this)), Dir1(NewControl<QListWidget>("Dir1", this)),
      txtIco(NewControl<QLineEdit>("txtIco", this)), cmdbrowse(NewControl<QPushButton>("cmdbrowse", this)),
      chk(NewControl<QCheckBox>("chk", this)), cdmApply(NewControl<QPushButton>("cdmApply", this)),
      cmdNoIco(NewControl<QPushButton>("cmdNoIco", this)), curIco(NewControl<QLabel>("curIco", this)),
      folders_(new DriveFolderList(Drv, Dir1))
{
    setObjectName(QStringLiteral("frmFldIco"));
    cmdbrowse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    txtIco->setReadOnly(true);
    lbl[2]->setWordWrap(true);

    LayOut(this, kLayout);

    connect(Drv, &QComboBox::currentIndexChanged, this, &frmFldIco::Drv_Change);
    connect(Dir1, &QListWidget::currentRowChanged, this, &frmFldIco::Dir1_Click);
    connect(cmdbrowse, &QPushButton::clicked, this, &frmFldIco::cmdbrowse_Click);
    connect(cdmApply, &QPushButton::clicked, this, &frmFldIco::cdmApply_Click);
    connect(cmdNoIco, &QPushButton::clicked, this, &frmFldIco::cmdNoIco_Click);
}

bool frmFldIco::IsFullPath(const QString &s)
{
    return s.size() >= 2 && s.at(1) == QLatin1Char(':');
}

QString frmFldIco::SelectedFolder() const
{
    return folders_->SelectedFolder();
}

void frmFldIco::Form_Load()
{
    for (std::size_t i = 0; i < lbl.size(); ++i)
        lbl[i]->setText(LoadResString(kFirstHeading + static_cast<int>(i)));
    cdmApply->setText(LoadResString(kApplyCaption));
    cmdNoIco->setText(LoadResString(kRemoveCaption));
    chk->setText(LoadResString(kCopyCaption));
    Form_Resize();
    Dir1_Click();
    cdmApply->setEnabled(false);
}

void frmFldIco::Drv_Change()
{
    // A drive that cannot be opened sends the list to C:, silently; the drive list keeps it.
    if (!folders_->SetPath(folders_->Drive()))
        folders_->SetPath(QLatin1String(kFallbackRoot));
}

void frmFldIco::Dir1_Click()
{
    const QString folder = SelectedFolder();
    cdmApply->setEnabled(!txtIco->text().isEmpty() && folder.size() >= kShortestFolder);
    // A folder with the system bit is taken to have an icon of its own; so is one whose
    // attributes cannot be read.
    const win::DWORD attributes = win::GetFileAttributesA(Ansi(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_SYSTEM) != 0) {
        ShowFolderIcon();
        cmdNoIco->setEnabled(true);
    } else {
        cmdNoIco->setEnabled(false);
        IconPictures::ShowResourceIcon(*curIco, kFallbackIcon);
    }
}

void frmFldIco::ShowFolderIcon()
{
    const QString folder = SelectedFolder();
    std::vector<char> buffer(kIconFileBufferSize, '\0');
    const win::DWORD copied =
        win::GetPrivateProfileStringA(kSection, kIconFileKey, kNoIconFile, buffer.data(), kIconFileBufferSize,
                                      Ansi(folder + QLatin1String(kDesktopIni)).c_str());
    const QString iconFile = QString::fromUtf8(buffer.data(), static_cast<qsizetype>(copied));
    if (iconFile == QLatin1String(kNoIconFile)) {
        IconPictures::ShowResourceIcon(*curIco, kFallbackIcon);
        return;
    }
    // "IconIndex" is not read: the preview is the icon file itself. A named file that is
    // missing leaves the preview as it was; one that exists but cannot be drawn (a program, a
    // damaged icon, the folder itself for an empty name) shows the plain folder.
    const QString path = IsFullPath(iconFile) ? iconFile : folder + QLatin1Char('\\') + iconFile;
    if (!Exists(path))
        return;
    if (!IconPictures::LoadPicture(*curIco, path))
        IconPictures::ShowResourceIcon(*curIco, kFallbackIcon);
}

void frmFldIco::cmdbrowse_Click()
{
    const QString chosen = DialogBox().OpenFile(LoadResString(kBrowseTitle), QLatin1String(kIconFilter));
    if (chosen.size() < kShortestChoice) {
        txtIco->clear();
        cdmApply->setEnabled(false);
        return;
    }
    txtIco->setText(chosen);
    cdmApply->setEnabled(SelectedFolder().size() >= kShortestFolder);
}

void frmFldIco::cdmApply_Click()
{
    const QString question = LoadResString(kApplyQuestion) + QLatin1Char(' ') + SelectedFolder() + QStringLiteral(" ?");
    if (!Module::AskSaveChanges(question))
        return;
    const QString folder = SelectedFolder();
    if (folder.size() < kShortestFolder)
        return; // a drive root never gets an icon
    SaveReport report(this);
    ApplyFolderIcon(folder);
}

void frmFldIco::ApplyFolderIcon(const QString &folder)
{
    const QString iniFile = folder + QLatin1String(kDesktopIni);
    QString iconFile;
    if (chk->isChecked()) {
        // The counter reads back through its low byte only, so after copy 256 the numbering
        // starts again at 1, and a recurring number replaces the older copy of that name.
        QString counter;
        int n = 0;
        if (Reg::GetValue(HKEY_LOCAL_MACHINE, QLatin1String(kCounterKey), QLatin1String(kCounterValue), counter)) {
            const qsizetype digits =
                std::find_if(counter.cbegin(), counter.cend(), [](QChar c) { return !c.isDigit(); }) - counter.cbegin();
            n = counter.left(digits).toInt() + 1;
        }
        const QString copyName = QLatin1String(kCopyStem) + QString::number(n) + QLatin1String(kCopyExtension);
        iconFile = folder + QLatin1Char('\\') + copyName;
        // Replaces an older copy of the same name.
        if (!Writes::NoteLastError(win::CopyFileA(Ansi(txtIco->text()).c_str(), Ansi(iconFile).c_str(), 0), iconFile) ||
            !WriteDesktopIni(iniFile, copyName))
            return;
        Reg::SetDword(HKEY_LOCAL_MACHINE, QLatin1String(kCounterKey), QLatin1String(kCounterValue), n);
    } else {
        iconFile = txtIco->text();
        if (!WriteDesktopIni(iniFile, iconFile))
            return;
    }
    // Only once Desktop.ini has landed: the system bit makes the shell look for it. In direct
    // mode this marks the user's own icon file, wherever it lies.
    SetAttributes(iconFile, kIconFileAttributes);
    SetAttributes(folder, kFolderAttributes);
}

void frmFldIco::cmdNoIco_Click()
{
    if (!Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    // Desktop.ini, the copies and the counter stay; read-only and hidden go with the system bit.
    SetAttributes(SelectedFolder(), kNoAttributes);
    cmdNoIco->setEnabled(false);
}
