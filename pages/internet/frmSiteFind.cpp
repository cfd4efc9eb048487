#include "frmSiteFind.h"

#include "Reg.h"
#include "Strings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

namespace
{

// The templates are the REG_SZ values "1", "2", ... of this key, tried by the browser in the
// order of their numbers.
constexpr auto kUrlTemplateKey = "Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate";
// The highest number the page reads and writes; numbers above it are left alone. The list never
// grows past it, so that every template shown can be saved.
constexpr int kMaxTemplates = 254;

constexpr auto kWwwTemplate = "www.%s.";
constexpr auto kBareTemplate = "%s.";
constexpr auto kDesignWww = "www";
constexpr auto kDesignDomain = "com";

constexpr int kAddCaption = 313;
constexpr int kDeleteCaption = 315;
constexpr int kHelpCaption = 451;
constexpr int kWwwCaption = 452;
constexpr int kSiteNameText = 453;

// Design geometry in twips: the list on the left; on its right the check box, the three text
// boxes in a row that reads like an address, and the buttons under them; the help text across
// the bottom, as wide as the page less 60.
constexpr int kMargin = 60;
constexpr int kListWidth = 2400;
constexpr int kRightLeft = kMargin + kListWidth + 120;
constexpr int kRightWidth = 2700;
constexpr int kWwwWidth = 500;
constexpr int kSiteNameWidth = 1500;
constexpr int kButtonWidth = 1215;
constexpr Placement kLayout[] = {
    {"slst", {kMargin, 120, kListWidth, 2400}},
    {"chkwww", {kRightLeft, 120, kRightWidth, 255}},
    {"txtwww", {kRightLeft, 555, kWwwWidth, 285}},
    {"Text2", {kRightLeft + kWwwWidth, 555, kSiteNameWidth, 285}},
    {"txtDomen", {kRightLeft + kWwwWidth + kSiteNameWidth, 555, kRightWidth - kWwwWidth - kSiteNameWidth, 285}},
    {"cmdadd", {kRightLeft, 1020, kButtonWidth, 375}},
    {"cmdDel", {kRightLeft, 1485, kButtonWidth, 375}},
    {"lblHelp", {kMargin, 2700, kRightLeft + kRightWidth - kMargin, 780}, kWidens},
};

QString TemplateName(int number)
{
    return QString::number(number);
}

QString TemplateKey()
{
    return QLatin1String(kUrlTemplateKey);
}

} // namespace

frmSiteFind::frmSiteFind(QWidget *parent)
    : Page(parent), slst(NewControl<QListWidget>("slst", this)), chkwww(NewControl<QCheckBox>("chkwww", this)),
      txtwww(NewControl<QLineEdit>("txtwww", this)), Text2(NewControl<QLineEdit>("Text2", this)),
      txtDomen(NewControl<QLineEdit>("txtDomen", this)), cmdadd(NewControl<QPushButton>("cmdadd", this)),
      cmdDel(NewControl<QPushButton>("cmdDel", this)), lblHelp(NewControl<QLabel>("lblHelp", this))
{
    setObjectName(QStringLiteral("frmSiteFind"));

    txtwww->setText(QLatin1String(kDesignWww));
    txtwww->setReadOnly(true);
    Text2->setReadOnly(true);
    txtDomen->setText(QLatin1String(kDesignDomain));
    lblHelp->setWordWrap(true);
    lblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    LayOut(this, kLayout);

    connect(slst, &QListWidget::currentRowChanged, this, &frmSiteFind::slst_Click);
    connect(cmdadd, &QPushButton::clicked, this, &frmSiteFind::cmdadd_Click);
    connect(cmdDel, &QPushButton::clicked, this, &frmSiteFind::cmdDel_Click);
}

void frmSiteFind::Form_Load()
{
    cmdadd->setText(LoadResString(kAddCaption));
    cmdDel->setText(LoadResString(kDeleteCaption));
    lblHelp->setText(LoadResString(kHelpCaption));
    chkwww->setText(LoadResString(kWwwCaption));
    Text2->setText(LoadResString(kSiteNameText));
    LoadTemplates();
    Changed = false;
}

void frmSiteFind::LoadTemplates()
{
    slst->clear();
    SelIndex = 0;
    // Numbers without a value are skipped, and the scan goes on to the last number.
    for (int number = 1; number <= kMaxTemplates; ++number) {
        QString text;
        if (Reg::GetValue(HKEY_LOCAL_MACHINE, TemplateKey(), TemplateName(number), text))
            slst->addItem(text);
    }
    if (slst->count() == 0)
        cmdDel->setEnabled(false);
    else
        slst->setCurrentRow(0);
    UpdateAddButton();
}

void frmSiteFind::slst_Click(int row)
{
    // The list loses its current entry when it is emptied; Delete is disabled then, and the next
    // entry added is the first again.
    if (row >= 0)
        SelIndex = row;
}

void frmSiteFind::cmdadd_Click()
{
    const QString newTemplate = QLatin1String(chkwww->isChecked() ? kWwwTemplate : kBareTemplate) + txtDomen->text();
    if (slst->findItems(newTemplate, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        slst->addItem(newTemplate);
        Changed = true;
    }
    cmdDel->setEnabled(true);
    UpdateAddButton();
}

void frmSiteFind::cmdDel_Click()
{
    if (SelIndex < 0 || SelIndex >= slst->count())
        return;
    delete slst->takeItem(SelIndex);
    if (slst->count() == 0) {
        cmdDel->setEnabled(false);
    } else {
        slst->setCurrentRow(0);
        SelIndex = 0;
    }
    Changed = true;
    UpdateAddButton();
}

void frmSiteFind::UpdateAddButton()
{
    cmdadd->setEnabled(slst->count() < kMaxTemplates);
}

void frmSiteFind::Save()
{
    SaveTemplates();
}

void frmSiteFind::SaveTemplates()
{
    // The numbers the list fills are overwritten below; deleting them first would only write the
    // registry twice and, should a write fail, lose the old template as well.
    DeleteTemplates(slst->count() + 1);
    for (int row = 0; row < slst->count(); ++row)
        Reg::SetString(HKEY_LOCAL_MACHINE, TemplateKey(), TemplateName(row + 1), slst->item(row)->text());
}

void frmSiteFind::DeleteTemplates(int firstNumber)
{
    // Every number the page reads, not only up to the first gap: a template the user deleted
    // behind a gap would otherwise come back at the next load.
    for (int number = firstNumber; number <= kMaxTemplates; ++number)
        Reg::DeleteValue(HKEY_LOCAL_MACHINE, TemplateKey(), TemplateName(number));
}
