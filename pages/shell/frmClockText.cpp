#include "frmClockText.h"

#include "Module.h"
#include "PageCatalogue.h"
#include "Reg.h"
#include "SaveReport.h"
#include "Strings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <string_view>

namespace
{

// The user's regional settings: the designators and the time format, all REG_SZ.
constexpr auto kInternationalKey = "Control Panel\\International";
constexpr auto kMorningValue = "s1159";
constexpr auto kAfternoonValue = "s2359";
constexpr auto kTimeFormatValue = "sTimeFormat";

// The designator in a time format; matched in lower case only, as Windows writes it.
constexpr std::string_view kDesignator = "tt";

// The three positions of the text, in the order of the option buttons.
enum Position { Left, Right, Both };

struct PositionOption {
    int caption;
    const char *timeFormat;
};
constexpr std::array<PositionOption, 3> kPositions = {{
    {333, "tt HH:mm:ss"},
    {334, "HH:mm:ss tt"},
    {335, "tt HH:mm:ss tt"},
}};

// The sample times of the preview.
constexpr auto kMorningTime = "05:41";
constexpr auto kAfternoonTime = "14:26";

constexpr int kMorningCaption = 330;
constexpr int kAfternoonCaption = 331;
constexpr int kPositionCaption = 332;
constexpr int kPreviewCaption = 336;
constexpr int kOneTextCaption = 338;
constexpr int kHelpCaption = 339;
constexpr int kApplyCaption = 130;

// Design geometry in twips: the two texts on the left, the positions on the right, the box
// for one text under both, then the preview, Apply and the help text.
constexpr int kLeft = 120;
constexpr int kTextWidth = 2415;
constexpr int kRightLeft = 2775;
constexpr int kRightWidth = 2400;
constexpr int kRow = 285;
constexpr Placement kLayout[] = {
    {"lblAM", {kLeft, 120, kTextWidth, kRow}},
    {"txtAM", {kLeft, 420, kTextWidth, kRow}},
    {"lblPM", {kLeft, 840, kTextWidth, kRow}},
    {"txtPM", {kLeft, 1140, kTextWidth, kRow}},
    {"chkOne", {kLeft, 1560, kTextWidth + kRightWidth, kRow}},
    {"lblPos", {kRightLeft, 120, kRightWidth, kRow}},
    {"optL", {kRightLeft, 420, kRightWidth, kRow}},
    {"optR", {kRightLeft, 720, kRightWidth, kRow}},
    {"optS", {kRightLeft, 1020, kRightWidth, kRow}},
    {"lblP", {kLeft, 1920, 1095, kRow}},
    {"lbl1", {1320, 1920, 1695, kRow}},
    {"lbl2", {3120, 1920, 1695, kRow}},
    {"cmdAP", {kRightLeft, 2220, 1215, 375}},
    {"lblHLP", {kLeft, 2760, 5055, 2415}},
};

QString Preview(Position position, const QString &text, const char *time)
{
    const QString clock = QLatin1String(time);
    switch (position) {
    case Left: return text + QLatin1Char(' ') + clock;
    case Right: return clock + QLatin1Char(' ') + text;
    case Both: return text + QLatin1Char(' ') + clock + QLatin1Char(' ') + text;
    }
    return QString();
}

QString ReadInternational(const char *name)
{
    QString text;
    Reg::GetValue(HKEY_CURRENT_USER, QLatin1String(kInternationalKey), QLatin1String(name), text);
    return text;
}

void WriteInternational(const char *name, const QString &text)
{
    Reg::SetString(HKEY_CURRENT_USER, QLatin1String(kInternationalKey), QLatin1String(name), text);
}

} // namespace

frmClockText::frmClockText(QWidget *parent)
    : Page(parent), lblAM(NewControl<QLabel>("lblAM", this)), txtAM(NewControl<QLineEdit>("txtAM", this)),
      lblPM(NewControl<QLabel>("lblPM", this)), txtPM(NewControl<QLineEdit>("txtPM", this)),
      chkOne(NewControl<QCheckBox>("chkOne", this)), lblPos(NewControl<QLabel>("lblPos", this)),
      optL(NewControl<QRadioButton>("optL", this)), optR(NewControl<QRadioButton>("optR", this)),
      optS(NewControl<QRadioButton>("optS", this)), lblP(NewControl<QLabel>("lblP", this)),
      lbl1(NewControl<QLabel>("lbl1", this)), lbl2(NewControl<QLabel>("lbl2", this)),
      cmdAP(NewControl<QPushButton>("cmdAP", this)), lblHLP(NewControl<QLabel>("lblHLP", this))
{
    setObjectName(QStringLiteral("frmClockText"));
    // The texts have no length limit: whatever the boxes hold is written.
    txtAM->setMaxLength(32767);
    txtPM->setMaxLength(32767);
    optR->setChecked(true);
    lblHLP->setWordWrap(true);
    lblHLP->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    LayOut(this, kLayout);

    connect(txtAM, &QLineEdit::textChanged, this, &frmClockText::txtAM_Change);
    connect(txtPM, &QLineEdit::textChanged, this, &frmClockText::txtPM_Change);
    connect(chkOne, &QCheckBox::toggled, this, &frmClockText::chkOne_Click);
    // An option's click is its becoming selected; the one that loses the selection is silent.
    connect(optL, &QRadioButton::toggled, this, [this](bool on) { on ? optL_Click() : void(); });
    connect(optR, &QRadioButton::toggled, this, [this](bool on) { on ? optR_Click() : void(); });
    connect(optS, &QRadioButton::toggled, this, [this](bool on) { on ? optS_Click() : void(); });
    connect(cmdAP, &QPushButton::clicked, this, &frmClockText::cmdAP_Click);
}

QString frmClockText::SettingCaption(std::string_view target, std::string_view name)
{
    constexpr CaptionedValue kCaptioned[] = {
        {kMorningValue, kMorningCaption}, {kAfternoonValue, kAfternoonCaption}, {kTimeFormatValue, kPositionCaption}};
    return CaptionAmong(target, name, HKEY_CURRENT_USER, QLatin1String(kInternationalKey), kCaptioned);
}

void frmClockText::Form_Load()
{
    lblAM->setText(LoadResString(kMorningCaption));
    lblPM->setText(LoadResString(kAfternoonCaption));
    chkOne->setText(LoadResString(kOneTextCaption));
    lblPos->setText(LoadResString(kPositionCaption));
    optL->setText(LoadResString(kPositions[Left].caption));
    optR->setText(LoadResString(kPositions[Right].caption));
    optS->setText(LoadResString(kPositions[Both].caption));
    lblP->setText(LoadResString(kPreviewCaption));
    cmdAP->setText(LoadResString(kApplyCaption));
    lblHLP->setText(LoadResString(kHelpCaption));

    txtAM->setText(ReadInternational(kMorningValue));
    const QString afternoon = ReadInternational(kAfternoonValue);
    txtPM->setText(afternoon);
    // The same text for both halves of the day (two missing ones included) means one text.
    if (afternoon == txtAM->text()) {
        txtPM->setEnabled(false);
        chkOne->setChecked(true);
    }

    const QString format = ReadInternational(kTimeFormatValue);
    const QString designator = QLatin1String(kDesignator.data(), static_cast<qsizetype>(kDesignator.size()));
    const bool starts = format.startsWith(designator);
    const bool ends = format.endsWith(designator);
    if (starts && ends)
        optS->setChecked(true);
    else if (starts)
        optL->setChecked(true);
    else if (ends)
        optR->setChecked(true);

    if (optL->isChecked())
        TimeFormat = QLatin1String(kPositions[Left].timeFormat);
    else if (optS->isChecked())
        TimeFormat = QLatin1String(kPositions[Both].timeFormat);
    else
        TimeFormat = QLatin1String(kPositions[Right].timeFormat);
    // The design selection raised no event: the preview must still show the loaded texts.
    ShowPreview();
    cmdAP->setEnabled(false);
}

void frmClockText::txtAM_Change()
{
    EnableApply();
    if (chkOne->isChecked())
        txtPM->setText(txtAM->text());
    ShowPreview();
}

void frmClockText::txtPM_Change()
{
    EnableApply();
    ShowPreview();
}

void frmClockText::chkOne_Click()
{
    if (chkOne->isChecked()) {
        txtPM->setText(txtAM->text());
        txtPM->setEnabled(false);
    } else {
        // The copied text stays, ready to be edited.
        txtPM->setEnabled(true);
    }
    ShowPreview();
}

void frmClockText::optL_Click()
{
    SelectPosition(Left);
}

void frmClockText::optR_Click()
{
    SelectPosition(Right);
}

void frmClockText::optS_Click()
{
    SelectPosition(Both);
}

void frmClockText::SelectPosition(int index)
{
    EnableApply();
    TimeFormat = QLatin1String(kPositions.at(static_cast<std::size_t>(index)).timeFormat);
    ShowPreview();
}

void frmClockText::EnableApply()
{
    if (!cmdAP->isEnabled())
        cmdAP->setEnabled(true);
}

void frmClockText::ShowPreview()
{
    Position position = Right;
    if (optL->isChecked())
        position = Left;
    else if (optS->isChecked())
        position = Both;
    else if (!optR->isChecked())
        return;
    lbl1->setText(Preview(position, txtAM->text(), kMorningTime));
    lbl2->setText(Preview(position, txtPM->text(), kAfternoonTime));
}

void frmClockText::cmdAP_Click()
{
    if (!Module::AskSaveChanges(QStringLiteral("None")))
        return;
    SaveReport report(this);
    WriteInternational(kMorningValue, txtAM->text());
    WriteInternational(kAfternoonValue, chkOne->isChecked() ? txtAM->text() : txtPM->text());
    WriteInternational(kTimeFormatValue, TimeFormat);
}
