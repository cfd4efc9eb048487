#include "frmStartUp.h"

#include "MdlStart.h"
#include "PageCatalogue.h"
#include "Reg.h"
#include "Strings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <algorithm>
#include <initializer_list>

namespace
{

// Where Windows keeps the message, below the platform's "CurrentVersion" key of
// HKEY_LOCAL_MACHINE. Only the caption decides whether the message is on.
constexpr auto kWinlogonSubKey = "\\Winlogon";
constexpr auto kCaptionValue = "LegalNoticeCaption";
constexpr auto kTextValue = "LegalNoticeText";

constexpr int kShowMessageCaption = 106;
constexpr int kTitleCaption = 107;
constexpr int kTextCaption = 108;
constexpr int kHelpCaption = 113;
constexpr auto kDesignTitle = "Windows";
constexpr auto kOkCaption = "Ok";

// Design geometry in twips: one column, each row as wide as the page less 120; Ok centred.
constexpr int kLeft = 60;
constexpr int kWidth = 4800;
constexpr int kOkWidth = 1215;
constexpr Placement kLayout[] = {
    {"chkYN", {kLeft, 120, kWidth, 255}, kWidens},
    {"lblTitle", {kLeft, 555, kWidth, 255}, kWidens},
    {"txtTitle", {kLeft, 870, kWidth, 285}, kWidens},
    {"lblText", {kLeft, 1335, kWidth, 255}, kWidens},
    {"txtText", {kLeft, 1650, kWidth, 1935}, kWidens},
    {"cmdOk", {kLeft + (kWidth - kOkWidth) / 2, 3765, kOkWidth, 375}, kCentred},
    {"lblHelp", {kLeft, 4320, kWidth, 780}, kWidens},
};

QString WinlogonKey()
{
    return MdlStart::CurrentVersionKey + QLatin1String(kWinlogonSubKey);
}

// The box's text as a Windows multi-line text box gives it: lines joined by CR LF, the form
// Windows shows the message in, whether a line was broken with Enter (a paragraph) or
// Shift+Enter (a line separator). The raw text keeps every other character as it was typed or
// loaded (the plain text would turn no-break spaces into blanks).
QString WindowsText(const QPlainTextEdit &box)
{
    QString text = box.document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return text;
}

} // namespace

frmStartUp::frmStartUp(QWidget *parent)
    : Page(parent), chkYN(NewControl<QCheckBox>("chkYN", this)), lblTitle(NewControl<QLabel>("lblTitle", this)),
      txtTitle(NewControl<QLineEdit>("txtTitle", this)), lblText(NewControl<QLabel>("lblText", this)),
      txtText(NewControl<QPlainTextEdit>("txtText", this)), cmdOk(NewControl<QPushButton>("cmdOk", this)),
      lblHelp(NewControl<QLabel>("lblHelp", this))
{
    setObjectName(QStringLiteral("frmStartUp"));

    // Design state: the message off, both boxes disabled, the title Windows uses by default.
    txtTitle->setText(QLatin1String(kDesignTitle));
    txtTitle->setEnabled(false);
    txtText->setEnabled(false);
    cmdOk->setText(QLatin1String(kOkCaption));
    lblHelp->setWordWrap(true);
    lblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    LayOut(this, kLayout);

    connect(chkYN, &QCheckBox::toggled, this, &frmStartUp::chkYN_Click);
    connect(txtTitle, &QLineEdit::textChanged, this, &frmStartUp::txtTitle_Change);
    connect(txtText, &QPlainTextEdit::textChanged, this, &frmStartUp::txtText_Change);
    connect(cmdOk, &QPushButton::clicked, this, &frmStartUp::cmdOk_Click);
}

QString frmStartUp::SettingCaption(std::string_view target, std::string_view name)
{
    constexpr CaptionedValue kCaptioned[] = {{kCaptionValue, kTitleCaption}, {kTextValue, kTextCaption}};
    return CaptionAmong(target, name, HKEY_LOCAL_MACHINE, WinlogonKey(), kCaptioned);
}

void frmStartUp::Form_Load()
{
    lblHelp->setText(LoadResString(kHelpCaption));
    chkYN->setText(LoadResString(kShowMessageCaption));
    lblTitle->setText(LoadResString(kTitleCaption));
    lblText->setText(LoadResString(kTextCaption));

    QString caption;
    if (Reg::GetValue(HKEY_LOCAL_MACHINE, WinlogonKey(), QLatin1String(kCaptionValue), caption)) {
        chkYN->setChecked(true);
        txtTitle->setEnabled(true);
        txtTitle->setText(caption);
        QString text; // stays empty when only the caption is stored
        Reg::GetValue(HKEY_LOCAL_MACHINE, WinlogonKey(), QLatin1String(kTextValue), text);
        txtText->setPlainText(text);
        txtText->setEnabled(true);
    }

    // Setting the controls above raised their change events.
    Changed = false;
}

void frmStartUp::chkYN_Click()
{
    Changed = true;
    const bool on = chkYN->isChecked();
    txtTitle->setEnabled(on);
    txtText->setEnabled(on);
}

void frmStartUp::txtTitle_Change()
{
    Changed = true;
}

void frmStartUp::txtText_Change()
{
    Changed = true;
}

void frmStartUp::cmdOk_Click()
{
    // Closes this page (with its save question) and shows About; the tree keeps its selection.
    MdlStart::ShowAboutPage();
}

void frmStartUp::Save()
{
    const QString key = WinlogonKey();
    if (chkYN->isChecked()) {
        Reg::SetString(HKEY_LOCAL_MACHINE, key, QLatin1String(kCaptionValue), txtTitle->text());
        Reg::SetString(HKEY_LOCAL_MACHINE, key, QLatin1String(kTextValue), WindowsText(*txtText));
    } else {
        // Off means no message at all: the texts shown in the boxes are dropped.
        Reg::DeleteValue(HKEY_LOCAL_MACHINE, key, QLatin1String(kCaptionValue));
        Reg::DeleteValue(HKEY_LOCAL_MACHINE, key, QLatin1String(kTextValue));
    }
}
