#include "PolicyPage.h"

#include "MdlStart.h"
#include "PageCatalogue.h"
#include "Reg.h"
#include "Strings.h"

#include <QCheckBox>
#include <algorithm>
#include <array>
#include <string_view>

namespace
{

constexpr auto kPoliciesBasePath = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";

// Design geometry in twips: one box per row; the boxes of a group stand indented under their
// master, and all end at the same right edge.
constexpr int kLeftTwips = 60;
constexpr int kIndentTwips = 360;
constexpr int kTopTwips = 120;
constexpr int kRowTwips = 285;
constexpr int kBoxHeightTwips = 255;
constexpr int kDesignWidthTwips = 6600;

// Restrictions that hide or block the tools a user would undo them with: the registry editor,
// Run, the Control Panel, the desktop and the settings folders.
constexpr std::array<std::string_view, 5> kLockOutValues{"DisableRegistryTools", "NoRun", "NoControlPanel", "NoDesktop",
                                                         "NoSetFolders"};
constexpr int kIdSaveQuestion = 109;
constexpr int kIdLockOutWarning = 1017;

bool LocksOut(const QString &valueName)
{
    return std::any_of(kLockOutValues.begin(), kLockOutValues.end(), [&valueName](std::string_view name) {
        return valueName.compare(QLatin1String(name.data(), static_cast<qsizetype>(name.size())),
                                 Qt::CaseInsensitive) == 0;
    });
}

QString KeyPathOf(const PolicySwitch &row)
{
    return row.underPolicies ? QLatin1String(kPoliciesBasePath) + QLatin1String(row.key) : QLatin1String(row.key);
}

} // namespace

PolicyPage::PolicyPage(const PolicyPageDeclaration &declaration, QWidget *parent)
    : Page(parent), declaration_(declaration)
{
    setObjectName(QLatin1String(declaration.className));
    const int count = static_cast<int>(declaration.switches.size());
    auto *layout = new TwipsLayout(this);
    for (int i = 0; i < count; ++i) {
        auto *box = NewControl<QCheckBox>(QStringLiteral("chk_%1").arg(i).toLatin1().constData(), this);
        const int indent = IsIndented(i) ? kIndentTwips : 0;
        layout->Add(box, {kLeftTwips + indent, kTopTwips + i * kRowTwips, kDesignWidthTwips - indent, kBoxHeightTwips},
                    declaration.boxesFollowWidth ? kWidens : kStays);
        connect(box, &QCheckBox::toggled, this, [this, i] { chk_Click(i); });
        boxes_.push_back(box);
    }
}

QString PolicyPage::CaptionOfSwitch(const PolicyPageDeclaration &page, std::string_view target, std::string_view name)
{
    for (std::size_t i = 0; i < page.switches.size(); ++i) {
        const PolicySwitch &row = page.switches[i];
        if (IsValueOf(target, name, win::PredefinedKey(row.root), KeyPathOf(row), QLatin1String(row.valueName)))
            return LoadResString(page.firstCaptionId + static_cast<int>(i));
    }
    return {};
}

void PolicyPage::Form_Load()
{
    FillBindingTable();
    for (int i = 0; i < BoxCount(); ++i)
        LoadBox(i);
    ApplyPlatformRules();
    UpdateDependents();
    loadedTicks_.clear();
    for (int i = 0; i < BoxCount(); ++i)
        loadedTicks_.push_back(chk(i)->isChecked());
    // Setting the boxes raised the same events as clicks: only now is the page unchanged.
    Changed = false;
}

void PolicyPage::FillBindingTable()
{
    bindings_.clear();
    for (const PolicySwitch &row : declaration_.switches)
        bindings_.push_back({win::PredefinedKey(row.root), KeyPathOf(row), QLatin1String(row.valueName)});
}

void PolicyPage::LoadBox(int index)
{
    const Binding &row = bindings_.at(static_cast<size_t>(index));
    QString text;
    Reg::GetValue(row.root, row.keyPath, row.valueName, text);
    const QString caption = LoadResString(declaration_.firstCaptionId + index);
    if (!declaration_.stateBeforeCaption)
        chk(index)->setText(caption);
    chk(index)->setChecked(text == QLatin1String("1"));
    if (declaration_.stateBeforeCaption)
        chk(index)->setText(caption);
}

void PolicyPage::chk_Click(int Index)
{
    Q_UNUSED(Index);
    Changed = true;
    UpdateDependents();
}

void PolicyPage::UpdateDependents()
{
    for (const DependencyGroup &group : declaration_.groups)
        for (int i = group.first; i <= group.last; ++i)
            chk(i)->setEnabled(!chk(group.master)->isChecked());
}

void PolicyPage::ApplyPlatformRules()
{
    const bool nt = MdlStart::IsWindowsNT();
    for (const PlatformRule &rule : declaration_.rules) {
        for (int i = rule.first; i <= rule.last; ++i) {
            switch (rule.kind) {
            case PlatformRule::EnabledOnNTOnly: chk(i)->setEnabled(nt); break;
            case PlatformRule::EnabledOn9xOnly: chk(i)->setEnabled(!nt); break;
            case PlatformRule::HiddenOnNT: chk(i)->setVisible(!nt); break;
            case PlatformRule::AlwaysOffDisabled:
                chk(i)->setChecked(false);
                chk(i)->setEnabled(false);
                break;
            }
        }
    }
}

void PolicyPage::Save()
{
    // Every box is written, hidden and disabled ones too; a failed write does not stop the rest.
    for (int i = 0; i < BoxCount(); ++i) {
        const Binding &row = bindings_.at(static_cast<size_t>(i));
        Reg::SetDword(row.root, row.keyPath, row.valueName, chk(i)->isChecked() ? 1 : 0);
    }
}

QString PolicyPage::SaveQuestion() const
{
    QStringList switchedOn;
    for (int i = 0; i < BoxCount(); ++i) {
        const bool wasTicked = static_cast<size_t>(i) < loadedTicks_.size() && loadedTicks_[static_cast<size_t>(i)];
        if (chk(i)->isChecked() && !wasTicked && LocksOut(bindings_.at(static_cast<size_t>(i)).valueName))
            switchedOn << chk(i)->text();
    }
    if (switchedOn.isEmpty())
        return Page::SaveQuestion();
    return LoadResString(kIdSaveQuestion) + LoadResString(kIdLockOutWarning).arg(switchedOn.join(QStringLiteral("; ")));
}

bool PolicyPage::IsIndented(int index) const
{
    return std::any_of(declaration_.groups.begin(), declaration_.groups.end(),
                       [index](const DependencyGroup &group) { return index >= group.first && index <= group.last; });
}
