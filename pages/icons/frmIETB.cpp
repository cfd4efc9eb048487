#include "frmIETB.h"

#include "DialogBox.h"
#include "Module.h"
#include "PageCatalogue.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace
{

// The three settings, all REG_SZ. Each is read from one root and written to both, in the order
// given: the browser looks at the user's value first, the machine's serves new users.
// Roots by their predefined codes, which unlike the handles are constant expressions.
constexpr std::uint32_t kMachine = 0x80000002u; // HKEY_LOCAL_MACHINE
constexpr std::uint32_t kUser = 0x80000001u;    // HKEY_CURRENT_USER
struct BrowserValue {
    const char *key;
    const char *name;
    std::uint32_t readFrom;
    std::array<std::uint32_t, 2> writeTo;
};
constexpr BrowserValue kTitle{
    "Software\\Microsoft\\Internet Explorer\\Main", "Window Title", kMachine, {kMachine, kUser}};
constexpr BrowserValue kVersion{"Software\\Microsoft\\Internet Explorer", "Version", kMachine, {kUser, kMachine}};
constexpr BrowserValue kToolbarPicture{
    "Software\\Microsoft\\Internet Explorer\\Toolbar", "BackBitmap", kUser, {kUser, kMachine}};

constexpr int kApplyCaption = 130;
constexpr int kTitleCaption = 301;
constexpr int kVersionCaption = 302;
constexpr int kPictureCaption = 303;
constexpr int kBrowseTitle = 304;
constexpr auto kPictureFilter = "All Pictures|*.bmp;*.jpg;*.jpeg;*.gif";

// Design geometry in twips: one column as wide as the page less 120; the picture's box leaves
// room for the browse button, Apply is centred.
constexpr int kLeft = 60;
constexpr int kWidth = 4800;
constexpr int kPathWidth = kWidth - 380;
constexpr int kApplyWidth = 1215;
constexpr Placement kLayout[] = {
    {"lblDC", {kLeft, 120, kWidth, 255}, kWidens},
    {"txtDC", {kLeft, 435, kWidth, 285}, kWidens},
    {"lblVer", {kLeft, 900, kWidth, 255}, kWidens},
    {"txtVer", {kLeft, 1215, kWidth, 285}, kWidens},
    {"lblTBI", {kLeft, 1680, kWidth, 255}, kWidens},
    {"txtTBI", {kLeft, 1995, kPathWidth, 285}, kWidens},
    {"cmdbrowse", {kLeft + kPathWidth + 60, 1995, 285, 285}},
    {"cmdAP", {kLeft + (kWidth - kApplyWidth) / 2, 2460, kApplyWidth, 375}, kCentred},
};

QString Read(const BrowserValue &value)
{
    QString text; // a missing value or key leaves it empty
    Reg::GetValue(win::PredefinedKey(value.readFrom), QLatin1String(value.key), QLatin1String(value.name), text);
    return text;
}

void Write(const BrowserValue &value, const QString &text)
{
    for (std::uint32_t root : value.writeTo)
        Reg::SetString(win::PredefinedKey(root), QLatin1String(value.key), QLatin1String(value.name), text);
}

} // namespace

frmIETB::frmIETB(QWidget *parent)
    : Page(parent), lblDC(NewControl<QLabel>("lblDC", this)), txtDC(NewControl<QLineEdit>("txtDC", this)),
      lblVer(NewControl<QLabel>("lblVer", this)), txtVer(NewControl<QLineEdit>("txtVer", this)),
      lblTBI(NewControl<QLabel>("lblTBI", this)), txtTBI(NewControl<QLineEdit>("txtTBI", this)),
      cmdbrowse(NewControl<QPushButton>("cmdbrowse", this)), cmdAP(NewControl<QPushButton>("cmdAP", this))
{
    setObjectName(QStringLiteral("frmIETB"));
    cmdbrowse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));

    LayOut(this, kLayout);

    connect(cmdbrowse, &QPushButton::clicked, this, &frmIETB::cmdbrowse_Click);
    connect(cmdAP, &QPushButton::clicked, this, &frmIETB::cmdAP_Click);
}

QString frmIETB::SettingCaption(std::string_view target, std::string_view name)
{
    const std::pair<BrowserValue, int> labelled[] = {
        {kTitle, kTitleCaption}, {kVersion, kVersionCaption}, {kToolbarPicture, kPictureCaption}};
    for (const auto &[value, caption] : labelled)
        for (const std::uint32_t root : value.writeTo)
            if (IsValueOf(target, name, win::PredefinedKey(root), QLatin1String(value.key), QLatin1String(value.name)))
                return LoadResString(caption);
    return {};
}

void frmIETB::Form_Load()
{
    txtDC->setText(Read(kTitle));
    txtVer->setText(Read(kVersion));
    txtTBI->setText(Read(kToolbarPicture));

    cmdAP->setText(LoadResString(kApplyCaption));
    lblDC->setText(LoadResString(kTitleCaption));
    lblVer->setText(LoadResString(kVersionCaption));
    lblTBI->setText(LoadResString(kPictureCaption));
}

void frmIETB::cmdbrowse_Click()
{
    // Whatever comes back replaces the box, so cancelling empties it.
    txtTBI->setText(DialogBox().OpenFile(LoadResString(kBrowseTitle), QLatin1String(kPictureFilter)));
}

void frmIETB::cmdAP_Click()
{
    if (!Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    // All six values, changed or not; an empty box stores an empty text.
    Write(kTitle, txtDC->text());
    Write(kVersion, txtVer->text());
    Write(kToolbarPicture, txtTBI->text());
}
