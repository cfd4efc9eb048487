#include "frmConFileMenu.h"

#include "Module.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

namespace
{

// Item keys: <base>\<name> holds the caption as its default value, <base>\<name>\command the
// command line. The base of all files is fixed; a file type's base follows its extension.
constexpr auto kAllFilesBase = "*\\Shell";
constexpr auto kShellSuffix = "\\Shell";
constexpr auto kCommandKey = "command";
constexpr auto kAllFilesExtension = "*";

constexpr int kAllFilesCaption = 311;
constexpr int kFileTypeCaption = 312;
constexpr int kAddCaption = 313;
constexpr int kEditCaption = 314;
constexpr int kDeleteCaption = 315;
constexpr int kExtensionCaption = 316;
constexpr int kCaptionCaption = 317;
constexpr int kCommandCaption = 318;
constexpr int kFindCaption = 319;
constexpr int kHelpCaption = 320;
constexpr int kIncorrectNameMessage = 321;
constexpr int kNameCaption = 322;
constexpr int kProgramName = 101;

// Design geometry in twips: the options at the top, the list with its buttons on the left, the
// fields on the right (the caption and command fields widen with the page), the help text below.
constexpr int kListLeft = 60;
constexpr int kListWidth = 2415;
constexpr int kButtonLeft = 2595;
constexpr int kButtonWidth = 1095;
constexpr int kFieldsLeft = 3810;
constexpr int kFieldWidth = 1455;
constexpr int kSecondFieldLeft = 5385;
constexpr int kLabel = 255;
constexpr int kField = 285;
constexpr int kButton = 375;
constexpr Placement kLayout[] = {
    {"OptAF", {kListLeft, 60, kListWidth, kLabel + 60}},
    {"OptOF", {kFieldsLeft, 60, 2 * kFieldWidth + 120, kLabel + 60}},
    {"lstMenu", {kListLeft, 420, kListWidth, 1815}},
    {"cmdadd", {kButtonLeft, 540, kButtonWidth, kButton}},
    {"cmdEdit", {kButtonLeft, 1140, kButtonWidth, kButton}},
    {"cmdDel", {kButtonLeft, 1800, kButtonWidth, kButton}},
    {"lblExt", {kFieldsLeft, 420, kFieldWidth, kLabel}},
    {"txtExt", {kFieldsLeft, 690, kFieldWidth, kField}},
    {"cmdfind", {kSecondFieldLeft, 660, kButtonWidth, kButton}},
    {"lblName", {kFieldsLeft, 1140, kFieldWidth, kLabel}},
    {"txtCaption", {kFieldsLeft, 1410, kFieldWidth, kField}},
    {"lblCap", {kSecondFieldLeft, 1140, kFieldWidth, kLabel}},
    {"txtSub", {kSecondFieldLeft, 1410, kFieldWidth, kField}, kWidens},
    {"lblCmd", {kFieldsLeft, 1800, kFieldWidth, kLabel}},
    {"txtCmd", {kFieldsLeft, 2040, 2 * kFieldWidth + 120, kField}, kWidens},
    {"lblHelp", {kListLeft, 2520, 7200, 3600}},
};

// Deletes an item key with its command. Windows NT deletes only keys without subkeys, so the
// command goes first; an item that is already gone is what the deletion wanted.
void DeleteItemKey(const QString &itemKey, Reg::View view)
{
    Reg::DeleteKey(HKEY_CLASSES_ROOT, itemKey + QLatin1Char('\\') + QLatin1String(kCommandKey), view);
    Reg::DeleteKey(HKEY_CLASSES_ROOT, itemKey, view);
}

} // namespace

frmConFileMenu::frmConFileMenu(QWidget *parent)
    : Page(parent), OptAF(NewControl<QRadioButton>("OptAF", this)), OptOF(NewControl<QRadioButton>("OptOF", this)),
      lblExt(NewControl<QLabel>("lblExt", this)), txtExt(NewControl<QLineEdit>("txtExt", this)),
      cmdfind(NewControl<QPushButton>("cmdfind", this)), lstMenu(NewControl<QListWidget>("lstMenu", this)),
      cmdadd(NewControl<QPushButton>("cmdadd", this)), cmdEdit(NewControl<QPushButton>("cmdEdit", this)),
      cmdDel(NewControl<QPushButton>("cmdDel", this)), lblName(NewControl<QLabel>("lblName", this)),
      txtCaption(NewControl<QLineEdit>("txtCaption", this)), lblCap(NewControl<QLabel>("lblCap", this)),
      txtSub(NewControl<QLineEdit>("txtSub", this)), lblCmd(NewControl<QLabel>("lblCmd", this)),
      txtCmd(NewControl<QLineEdit>("txtCmd", this)), lblHelp(NewControl<QLabel>("lblHelp", this))
{
    setObjectName(QStringLiteral("frmConFileMenu"));
    OptAF->setChecked(true);
    lblHelp->setWordWrap(true);
    lblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    LayOut(this, kLayout);

    // An option's click is its becoming selected; the one that loses the selection is silent.
    connect(OptAF, &QRadioButton::toggled, this, [this](bool on) { on ? OptAF_Click() : void(); });
    connect(OptOF, &QRadioButton::toggled, this, [this](bool on) { on ? OptOF_Click() : void(); });
    connect(txtExt, &QLineEdit::textChanged, this, &frmConFileMenu::txtExt_Change);
    connect(cmdfind, &QPushButton::clicked, this, &frmConFileMenu::cmdfind_Click);
    connect(lstMenu, &QListWidget::currentRowChanged, this, &frmConFileMenu::lstMenu_Click);
    connect(cmdadd, &QPushButton::clicked, this, &frmConFileMenu::cmdadd_Click);
    connect(cmdEdit, &QPushButton::clicked, this, &frmConFileMenu::cmdEdit_Click);
    connect(cmdDel, &QPushButton::clicked, this, &frmConFileMenu::cmdDel_Click);
}

void frmConFileMenu::Form_Load()
{
    OptAF->setText(LoadResString(kAllFilesCaption));
    OptOF->setText(LoadResString(kFileTypeCaption));
    cmdadd->setText(LoadResString(kAddCaption));
    cmdDel->setText(LoadResString(kDeleteCaption));
    cmdEdit->setText(LoadResString(kEditCaption));
    cmdfind->setText(LoadResString(kFindCaption));
    lblExt->setText(LoadResString(kExtensionCaption));
    lblCap->setText(LoadResString(kCaptionCaption));
    lblCmd->setText(LoadResString(kCommandCaption));
    lblName->setText(LoadResString(kNameCaption));
    lblHelp->setText(LoadResString(kHelpCaption));

    OptAF_Click();
    EnableItemButtons(true);
    RefreshMenuList();
}

void frmConFileMenu::OptAF_Click()
{
    txtExt->setText(QLatin1String(kAllFilesExtension));
    ClearItemFields();
    txtExt->setReadOnly(true);
    cmdfind->setEnabled(false);
    EnableItemButtons(true);
    RefreshMenuList();
}

void frmConFileMenu::OptOF_Click()
{
    lstMenu->clear();
    txtExt->setReadOnly(false);
    ClearItemFields();
    cmdfind->setEnabled(true);
    // Until Find has looked the extension up there is no base to write under.
    EnableItemButtons(false);
}

void frmConFileMenu::txtExt_Change()
{
    ClearItemFields();
    // The base of the list no longer matches the typed extension.
    EnableItemButtons(false);
}

void frmConFileMenu::cmdfind_Click()
{
    SelIndex = 0;
    ClearItemFields();
    EnableItemButtons(true);
    RefreshMenuList();
}

void frmConFileMenu::lstMenu_Click(int row)
{
    // Clearing the list moves its current row to none; that is no click.
    if (row < 0)
        return;
    SelIndex = static_cast<qint16>(row);
    const QString name = SelectedEntry();
    ShellKey = ItemBaseKey();
    const QString itemKey = ShellKey + QLatin1Char('\\') + name;

    QString command;
    const Reg::View view = SelectedView();
    Reg::GetValue(HKEY_CLASSES_ROOT, itemKey + QLatin1Char('\\') + QLatin1String(kCommandKey), QString(), command,
                  view);
    txtCaption->setText(name);
    txtCmd->setText(command);
    QString caption;
    Reg::GetValue(HKEY_CLASSES_ROOT, itemKey, QString(), caption, view);
    txtSub->setText(caption);
}

void frmConFileMenu::cmdadd_Click()
{
    if (!NameTyped() || !Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    // A new item is for the shells of 32-bit and 64-bit programs alike.
    WriteItem(Reg::View::Both);
    RefreshMenuList();
}

void frmConFileMenu::cmdEdit_Click()
{
    if (lstMenu->count() == 0 || !NameTyped())
        return;
    // A stale index names no item: deleting "<base>\" would take the whole base with it.
    const QString entry = SelectedEntry();
    if (entry.isEmpty() || !Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    // A new name, a change of letter case included, moves the item.
    const Reg::View view = SelectedView();
    if (txtCaption->text() != entry)
        DeleteItemKey(ShellKey + QLatin1Char('\\') + entry, view);
    WriteItem(view);
    RefreshMenuList();
}

void frmConFileMenu::cmdDel_Click()
{
    if (lstMenu->count() == 0)
        return;
    const QString entry = SelectedEntry();
    if (entry.isEmpty() || !Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    DeleteItemKey(ShellKey + QLatin1Char('\\') + entry, SelectedView());
    RefreshMenuList();
}

void frmConFileMenu::EnableItemButtons(bool enabled)
{
    cmdadd->setEnabled(enabled);
    cmdEdit->setEnabled(enabled);
    cmdDel->setEnabled(enabled);
}

void frmConFileMenu::RefreshMenuList()
{
    ShellKey = ItemBaseKey();
    ListMenuItems(ShellKey);
}

QString frmConFileMenu::ItemBaseKey() const
{
    if (OptAF->isChecked())
        return QLatin1String(kAllFilesBase);
    // The extension is used as typed: one typed with its dot gives a key with two.
    const QString extensionKey = QLatin1Char('.') + txtExt->text();
    QString fileType;
    if (Reg::GetValue(HKEY_CLASSES_ROOT, extensionKey, QString(), fileType) && !fileType.isEmpty())
        return fileType + QLatin1String(kShellSuffix);
    return extensionKey + QLatin1String(kShellSuffix);
}

void frmConFileMenu::ListMenuItems(const QString &key)
{
    // The items of 32-bit and 64-bit programs alike, each with the view it lives in.
    lstMenu->setEnabled(Reg::ListEntries(*lstMenu, HKEY_CLASSES_ROOT, key, KEY_ENUMERATE_SUB_KEYS));
}

QString frmConFileMenu::SelectedEntry() const
{
    const QListWidgetItem *entry = lstMenu->item(SelIndex);
    return entry ? entry->text() : QString();
}

Reg::View frmConFileMenu::SelectedView() const
{
    const QListWidgetItem *entry = lstMenu->item(SelIndex);
    return entry ? static_cast<Reg::View>(entry->data(Qt::UserRole).toInt()) : Reg::View::Both;
}

bool frmConFileMenu::NameTyped()
{
    // A name of one character is a name.
    if (!txtCaption->text().isEmpty())
        return true;
    QMessageBox box(QMessageBox::NoIcon, LoadResString(kProgramName), LoadResString(kIncorrectNameMessage),
                    QMessageBox::Ok, this);
    box.exec();
    return false;
}

void frmConFileMenu::WriteItem(Reg::View view)
{
    const QString itemKey = ShellKey + QLatin1Char('\\') + txtCaption->text();
    Reg::SetString(HKEY_CLASSES_ROOT, itemKey, QString(), txtSub->text(), view);
    Reg::SetString(HKEY_CLASSES_ROOT, itemKey + QLatin1Char('\\') + QLatin1String(kCommandKey), QString(),
                   txtCmd->text(), view);
}

void frmConFileMenu::ClearItemFields()
{
    txtSub->clear();
    txtCaption->clear();
    txtCmd->clear();
}
