#include "PolicyPage.h"

#include "Module.h"
#include "Reg.h"
#include "Strings.h"

#include <QCheckBox>
#include <algorithm>

const QString kPoliciesBasePath = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Policies");
const QString kIERestrictionsKey = QStringLiteral("Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions");

namespace
{

constexpr int kLeftTwips = 60;
constexpr int kIndentTwips = 360;
constexpr int kTopTwips = 120;
constexpr int kRowTwips = 285;
constexpr int kBoxHeightTwips = 255;
// A box is as wide as the page less this, less its indentation.
constexpr int kWidthAllowanceTwips = 120;
constexpr int kDesignWidthTwips = 6600;

} // namespace

PolicyPage::PolicyPage(const QString &className, const Shape &shape, QWidget *parent) : Page(parent), shape_(shape)
{
    setObjectName(className);
    for (int i = 0; i < shape.boxCount; ++i) {
        auto *box = NewControl<QCheckBox>(QStringLiteral("chk_%1").arg(i).toLatin1().constData(), this);
        const int left = TwipsToPixelsX(kLeftTwips + (IsIndented(i) ? kIndentTwips : 0), this);
        box->setGeometry(left, TwipsToPixelsY(kTopTwips + i * kRowTwips, this), TwipsToPixelsX(kDesignWidthTwips, this),
                         TwipsToPixelsY(kBoxHeightTwips, this));
        connect(box, &QCheckBox::toggled, this, [this, i] { chk_Click(i); });
        boxes_.push_back(box);
    }
}

void PolicyPage::Form_Load()
{
    bindings_ = FillBindingTable();
    for (int i = 0; i < BoxCount(); ++i)
        LoadBox(i);
    ApplyPageRules();
    // Setting the boxes raised the same events as clicks: only now is the page unchanged.
    Changed = false;
}

void PolicyPage::LoadBox(int index)
{
    const PolicyBinding &row = bindings_.at(static_cast<size_t>(index));
    QString text;
    Reg::GetValue(row.root, row.keyPath, row.valueName, text);
    const QString caption = LoadResString(shape_.firstCaptionId + index);
    if (!shape_.stateBeforeCaption)
        chk(index)->setText(caption);
    chk(index)->setChecked(text == QLatin1String("1"));
    if (shape_.stateBeforeCaption)
        chk(index)->setText(caption);
}

void PolicyPage::chk_Click(int Index)
{
    Changed = true;
    AfterClick(Index);
}

void PolicyPage::Form_Unload()
{
    if (!Changed || !Module::AskSaveChanges(QStringLiteral("None")))
        return;
    // Every box is written, hidden and disabled ones too; a failed write does not stop the rest.
    for (int i = 0; i < BoxCount(); ++i) {
        const PolicyBinding &row = bindings_.at(static_cast<size_t>(i));
        Reg::SetDword(row.root, row.keyPath, row.valueName, chk(i)->isChecked() ? 1 : 0);
    }
}

void PolicyPage::Form_Resize()
{
    if (!shape_.boxesFollowWidth)
        return;
    for (int i = 0; i < BoxCount(); ++i) {
        const int indent = IsIndented(i) ? kIndentTwips : 0;
        const int width = std::max(0, this->width() - TwipsToPixelsX(kWidthAllowanceTwips + indent, this));
        if (chk(i)->width() != width)
            chk(i)->resize(width, chk(i)->height());
    }
}

bool PolicyPage::IsIndented(int index) const
{
    return std::count(shape_.indentedBoxes.begin(), shape_.indentedBoxes.end(), index) > 0;
}
