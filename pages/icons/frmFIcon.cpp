#include "frmFIcon.h"

#include "DialogBox.h"
#include "IconPictures.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace
{

// Everything lives under HKEY_CLASSES_ROOT as default values: ".ext" names the file type, and
// the type's "DefaultIcon" holds its icon location.
constexpr auto kDefaultIconSubKey = "\\DefaultIcon";
// The file type registered for an extension that has none ends so, marking it as the page's own.
constexpr auto kOwnTypeSuffix = "_pellador_file";
constexpr auto kChosenIconIndex = ",0";
constexpr auto kFirstExtension = "txt";
constexpr auto kExtensionPrefix = "*.";
constexpr auto kFallbackIcon = "DEFAULT";
constexpr auto kError = "Error";
constexpr int kShortestLocation = 4;

constexpr auto kBrowseTitle = "Please select icon file...";
constexpr auto kIconFilter = "Icon Files|*.ico";
constexpr auto kNoFileMessage = "Please Select icon file...";
constexpr auto kNoFileTitle = "File Not Found";

constexpr int kApplyCaption = 351;
constexpr int kBrowseCaption = 352;
constexpr int kCurrentIconCaption = 353;
constexpr int kSelectedIconCaption = 354;
constexpr int kTypeNameCaption = 355;
constexpr int kExtensionCaption = 356;

// Design geometry in twips: the extension, the type name and the two icons, each under its
// heading, one column.
constexpr int kLeft = 60;
constexpr int kWidth = 4800;
constexpr int kPrefixWidth = 300;
constexpr int kPicture = 32 * 15;
constexpr int kButtonWidth = 2200;
constexpr Placement kLayout[] = {
    {"Label1", {kLeft, 120, kWidth, 255}},
    {"Text2", {kLeft, 435, kPrefixWidth, 285}},
    {"TxtRas", {kLeft + kPrefixWidth, 435, kWidth - kPrefixWidth, 285}},
    {"Label4", {kLeft, 900, kWidth, 255}},
    {"TxtFileInf", {kLeft, 1215, kWidth, 285}},
    {"Label2", {kLeft, 1680, kWidth, 255}},
    {"TxtCurIco", {kLeft, 1995, kWidth, 285}},
    {"img", {kLeft, 2340, kPicture, kPicture}},
    {"Label3", {kLeft, 3000, kWidth, 255}},
    {"TxtSelIco", {kLeft, 3315, kWidth, 285}},
    {"img2", {kLeft, 3660, kPicture, kPicture}},
    {"cmdbrowse", {kLeft, 4320, kButtonWidth, 375}},
    {"cmdNewIco", {kLeft, 4755, kButtonWidth, 375}},
};

QString DefaultValue(const QString &key, Reg::View view)
{
    QString value; // empty when the key or its default value is missing
    Reg::GetValue(HKEY_CLASSES_ROOT, key, QString(), value, view);
    return value;
}

} // namespace

frmFIcon::frmFIcon(QWidget *parent)
    : Page(parent), Text2(NewControl<QLineEdit>("Text2", this)), TxtRas(NewControl<QLineEdit>("TxtRas", this)),
      Label1(NewControl<QLabel>("Label1", this)), TxtFileInf(NewControl<QLineEdit>("TxtFileInf", this)),
      Label4(NewControl<QLabel>("Label4", this)), TxtCurIco(NewControl<QLineEdit>("TxtCurIco", this)),
      Label2(NewControl<QLabel>("Label2", this)), img(NewControl<QLabel>("img", this)),
      TxtSelIco(NewControl<QLineEdit>("TxtSelIco", this)), Label3(NewControl<QLabel>("Label3", this)),
      img2(NewControl<QLabel>("img2", this)), cmdbrowse(NewControl<QPushButton>("cmdbrowse", this)),
      cmdNewIco(NewControl<QPushButton>("cmdNewIco", this))
{
    setObjectName(QStringLiteral("frmFIcon"));
    Text2->setText(QLatin1String(kExtensionPrefix));
    Text2->setReadOnly(true);
    Text2->setFocusPolicy(Qt::NoFocus);
    TxtFileInf->setReadOnly(true);
    TxtCurIco->setReadOnly(true);
    TxtSelIco->setReadOnly(true);

    LayOut(this, kLayout);

    TxtRas->setText(QLatin1String(kFirstExtension));

    connect(TxtRas, &QLineEdit::textChanged, this, &frmFIcon::TxtRas_Change);
    connect(TxtCurIco, &QLineEdit::textChanged, this, &frmFIcon::TxtCurIco_Change);
    connect(cmdbrowse, &QPushButton::clicked, this, &frmFIcon::cmdbrowse_Click);
    connect(cmdNewIco, &QPushButton::clicked, this, &frmFIcon::cmdNewIco_Click);
}

QString frmFIcon::GetFIP(const QString &lStr)
{
    if (lStr.size() < kShortestLocation)
        return QLatin1String(kError);
    const qsizetype comma = lStr.lastIndexOf(QLatin1Char(','));
    return comma < 0 ? lStr : lStr.left(comma);
}

void frmFIcon::Form_Load()
{
    IconPictures::ShowResourceIcon(*img, kFallbackIcon);
    cmdNewIco->setText(LoadResString(kApplyCaption));
    cmdbrowse->setText(LoadResString(kBrowseCaption));
    Label2->setText(LoadResString(kCurrentIconCaption));
    Label3->setText(LoadResString(kSelectedIconCaption));
    Label4->setText(LoadResString(kTypeNameCaption));
    Label1->setText(LoadResString(kExtensionCaption));
    TxtRas_Change();
}

void frmFIcon::TxtRas_Change()
{
    LoadFileType();
}

void frmFIcon::LoadFileType()
{
    // Registry names match without regard to case, so ".TXT" finds ".txt".
    extensionKey_ = QLatin1Char('.') + TxtRas->text();
    // A 32-bit program's registration first, as settings are read; one made nowhere yet is made
    // for both kinds of program.
    typeView_ = Reg::View::Both;
    fileType_.clear();
    for (const Reg::View view : {Reg::View::Bit32, Reg::View::Bit64}) {
        if (Reg::GetValue(HKEY_CLASSES_ROOT, extensionKey_, QString(), fileType_, view)) {
            typeView_ = view;
            break;
        }
    }
    TxtFileInf->setText(fileType_);
    // Without a file type this reads "\DefaultIcon" right under the root, as the shell would.
    currentIcon_ = DefaultValue(fileType_ + QLatin1String(kDefaultIconSubKey), typeView_);
    TxtCurIco->setText(currentIcon_); // previews when the text changes
}

void frmFIcon::TxtCurIco_Change()
{
    // The icon index is ignored: the file itself is shown, and anything that is no picture
    // (a program or library holding icons, a missing file) shows "DEFAULT".
    const QString file = GetFIP(currentIcon_);
    const bool shown =
        !TxtCurIco->text().isEmpty() && file != QLatin1String(kError) && IconPictures::LoadPicture(*img, file);
    if (!shown)
        IconPictures::ShowResourceIcon(*img, kFallbackIcon);
}

void frmFIcon::cmdbrowse_Click()
{
    TxtSelIco->setText(DialogBox().OpenFile(QLatin1String(kBrowseTitle), QLatin1String(kIconFilter)));
    // A chosen file that cannot be drawn shows "DEFAULT" rather than the previous choice.
    if (TxtSelIco->text().size() >= kShortestLocation && !IconPictures::LoadPicture(*img2, TxtSelIco->text()))
        IconPictures::ShowResourceIcon(*img2, kFallbackIcon);
}

void frmFIcon::cmdNewIco_Click()
{
    if (TxtSelIco->text().isEmpty()) {
        QMessageBox::warning(this, QLatin1String(kNoFileTitle), QLatin1String(kNoFileMessage));
        return;
    }
    LoadFileType();
    newIcon_ = TxtSelIco->text() + QLatin1String(kChosenIconIndex);
    {
        SaveReport report(this);
        if (TxtFileInf->text().isEmpty()) {
            fileType_ = TxtRas->text() + QLatin1String(kOwnTypeSuffix);
            Reg::SetString(HKEY_CLASSES_ROOT, extensionKey_, QString(), fileType_, typeView_);
        }
        // A type shared by several extensions changes the icon of all of them.
        Reg::SetString(HKEY_CLASSES_ROOT, fileType_ + QLatin1String(kDefaultIconSubKey), QString(), newIcon_,
                       typeView_);
    }
    LoadFileType();
}
