#include "frmshortcut.h"

#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <array>

namespace
{

// The shortcut text: REG_BINARY "link" of the Explorer key. The current user's value is the one
// read; the default profile gets the same bytes so that new users start with them.
constexpr auto kLinkValue = "link";
constexpr auto kUserExplorerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr auto kDefaultExplorerKey = ".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
// The page writes the text followed by this byte, and loading takes one of them off again so
// that saving an unedited text does not lengthen it.
constexpr char kTextEnd = ' ';
// "link" meaning no text at all. Read back it is three zero characters (the reader drops one as
// a terminator), and an empty value means the same.
constexpr int kNoTextLength = 4;
constexpr int kMaxTextLength = 255;

// The arrow: a shortcut class shows it while it carries this empty value. Written in this order.
constexpr auto kArrowValue = "IsShortCut";
constexpr auto kLinkClass = "lnkfile";
constexpr auto kPifClass = "piffile";
constexpr std::array<const char *, 2> kShortcutClasses = {kLinkClass, kPifClass};

constexpr int kTextCaption = 385;
constexpr int kNoTextCaption = 387;
constexpr int kNoArrowCaption = 388;
constexpr int kApplyCaption = 130;

// Design geometry in twips: the caption across the page, the rest in a column below it.
constexpr int kLeft = 60;
constexpr int kWidth = 4800;
constexpr int kApplyWidth = 1215;
constexpr Placement kLayout[] = {
    {"lbltxt", {0, 120, kLeft + kWidth + kLeft, 255}, kWidens},
    {"txtShortCut", {kLeft, 435, kWidth, 285}, kWidens},
    {"chkns", {kLeft, 900, kWidth, 255}},
    {"chkni", {kLeft, 1335, kWidth, 255}},
    {"btnApply", {kLeft + (kWidth - kApplyWidth) / 2, 1770, kApplyWidth, 375}, kCentred},
};

bool MeansNoText(const QString &stored)
{
    const auto allZero = [&stored] {
        return std::all_of(stored.cbegin(), stored.cend(), [](QChar c) { return c.isNull(); });
    };
    return stored.isEmpty() || ((stored.size() == kNoTextLength - 1 || stored.size() == kNoTextLength) && allZero());
}

} // namespace

frmshortcut::frmshortcut(QWidget *parent)
    : Page(parent), lbltxt(NewControl<QLabel>("lbltxt", this)), txtShortCut(NewControl<QLineEdit>("txtShortCut", this)),
      chkns(NewControl<QCheckBox>("chkns", this)), chkni(NewControl<QCheckBox>("chkni", this)),
      btnApply(NewControl<QPushButton>("btnApply", this))
{
    setObjectName(QStringLiteral("frmshortcut"));
    // The text is read back through a 1024-byte buffer: a longer one would load as no text and
    // be overwritten. 255 characters stay within it in any script.
    txtShortCut->setMaxLength(kMaxTextLength);
    lbltxt->setIndent(TwipsToPixelsX(kLeft, this));

    LayOut(this, kLayout);

    connect(chkns, &QCheckBox::toggled, this, &frmshortcut::chkns_Click);
    connect(chkni, &QCheckBox::toggled, this, &frmshortcut::chkni_Click);
    connect(txtShortCut, &QLineEdit::textChanged, this, &frmshortcut::txtShortCut_Change);
    connect(btnApply, &QPushButton::clicked, this, &frmshortcut::btnApply_Click);
}

void frmshortcut::Form_Load()
{
    lbltxt->setText(LoadResString(kTextCaption));
    btnApply->setText(LoadResString(kApplyCaption));
    chkns->setText(LoadResString(kNoTextCaption));
    chkni->setText(LoadResString(kNoArrowCaption));

    QString stored; // the bytes of "link", one character each
    if (Reg::GetValue(HKEY_CURRENT_USER, QLatin1String(kUserExplorerKey), QLatin1String(kLinkValue), stored)) {
        const bool noText = MeansNoText(stored);
        chkns->setChecked(noText);
        // The zero bytes that mean "no text" are no text to edit: unticking the box must not
        // store them in front of the space.
        QString text = noText ? QString() : QString::fromUtf8(stored.toLatin1());
        if (text.endsWith(QLatin1Char(kTextEnd)))
            text.chop(1);
        // A longer text stored by another tool is kept whole: cut to the box's limit, a save
        // would shorten it without the user having touched it.
        txtShortCut->setMaxLength(std::max(kMaxTextLength, static_cast<int>(text.size())));
        txtShortCut->setText(text);
    } else {
        chkns->setChecked(true);
    }

    // Both classes are read, even when the first already answers.
    QString ignored;
    const bool pifArrow =
        Reg::GetValue(HKEY_CLASSES_ROOT, QLatin1String(kPifClass), QLatin1String(kArrowValue), ignored);
    const bool linkArrow =
        Reg::GetValue(HKEY_CLASSES_ROOT, QLatin1String(kLinkClass), QLatin1String(kArrowValue), ignored);
    chkni->setChecked(!pifArrow && !linkArrow);

    // A box that kept its design state raised no event, and the text box must still follow it.
    chkns_Click();
    chkni_Click();
    Changed = false;
}

void frmshortcut::chkns_Click()
{
    // The typed text stays in the disabled box, ready for when the box is unticked again.
    txtShortCut->setEnabled(!chkns->isChecked());
    Changed = true;
}

void frmshortcut::chkni_Click()
{
    Changed = true;
}

void frmshortcut::txtShortCut_Change()
{
    Changed = true;
}

void frmshortcut::btnApply_Click()
{
    SaveReport report(this);
    Save();
    // What could not be written stays a change, so that leaving the page still offers to save it.
    Changed = !report.AllSaved();
}

void frmshortcut::Save()
{
    const QByteArray link =
        chkns->isChecked() ? QByteArray(kNoTextLength, '\0') : txtShortCut->text().toUtf8() + kTextEnd;
    Reg::SetBinary(HKEY_CURRENT_USER, QLatin1String(kUserExplorerKey), QLatin1String(kLinkValue), link);
    Reg::SetBinary(HKEY_USERS, QLatin1String(kDefaultExplorerKey), QLatin1String(kLinkValue), link);

    // Results are not examined: a profile that cannot be written does not stop the arrow.
    for (const char *shortcutClass : kShortcutClasses) {
        if (chkni->isChecked())
            Reg::DeleteValue(HKEY_CLASSES_ROOT, QLatin1String(shortcutClass), QLatin1String(kArrowValue));
        else
            Reg::SetString(HKEY_CLASSES_ROOT, QLatin1String(shortcutClass), QLatin1String(kArrowValue), QString());
    }
}
