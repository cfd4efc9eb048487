// Every page, the About page and the machine chooser, in English and in Russian, at the scale the
// test runs with (ctest runs it at QT_SCALE_FACTOR 1 and 1.5): no caption is cut off - measured
// with the control's font in the room its style leaves for text, wrapped lines counted - and no
// control lies outside its page.
#include "PageTest.h"
#include "frmMachines.h"
#include "frmStart.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

namespace
{

// The room a control's text has, and the size the text needs there; an empty need for controls
// without text.
struct TextFit {
    QRect room;
    QSize needed;
};

TextFit FitOf(const QLabel &label)
{
    if (label.text().isEmpty() || !label.pixmap().isNull())
        return {};
    // The indent keeps the text off the edges it is aligned to, as QLabel draws it.
    const int indent = std::max(label.indent(), 0);
    const Qt::Alignment align = label.alignment();
    QRect room = label.contentsRect().adjusted(label.margin(), label.margin(), -label.margin(), -label.margin());
    room.adjust(align & Qt::AlignLeft ? indent : 0, align & Qt::AlignTop ? indent : 0,
                align & Qt::AlignRight ? -indent : 0, align & Qt::AlignBottom ? -indent : 0);
    const int wrap = label.wordWrap() ? Qt::TextWordWrap : 0;
    return {room,
            label.fontMetrics().boundingRect(room, static_cast<int>(label.alignment()) | wrap, label.text()).size()};
}

TextFit FitOf(const QAbstractButton &button)
{
    if (button.text().isEmpty())
        return {};
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox *>(&button))
        contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<const QRadioButton *>(&button))
        contents = QStyle::SE_RadioButtonContents;
    QSize needed = button.fontMetrics().size(Qt::TextShowMnemonic, button.text());
    if (!button.icon().isNull())
        needed.rwidth() += button.iconSize().width();
    return {button.style()->subElementRect(contents, &option, &button), needed};
}

TextFit FitOf(const QGroupBox &box)
{
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect label = box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    return {label.intersected(box.rect()),
            box.fontMetrics().size(Qt::TextShowMnemonic, box.title().remove(QLatin1Char('&')))};
}

// Fails for every control of `page` (and of its frames) outside it or with a caption cut off.
void ExpectEverythingFits(const QWidget &page, const QString &where)
{
    for (const QWidget *control : page.findChildren<QWidget *>()) {
        const QWidget *parent = control->parentWidget();
        if (!control->isVisibleTo(&page) || (parent != &page && !qobject_cast<const QGroupBox *>(parent)))
            continue;
        const std::string name = (where + QLatin1Char(' ') + control->objectName()).toStdString();
        const QRect onPage(control->mapTo(&page, QPoint(0, 0)), control->size());
        EXPECT_TRUE(page.rect().contains(onPage))
            << name << " at " << onPage.x() << "," << onPage.y() << " " << onPage.width() << "x" << onPage.height()
            << " is outside the " << page.width() << "x" << page.height() << " page";
        TextFit fit;
        if (const auto *label = qobject_cast<const QLabel *>(control))
            fit = FitOf(*label);
        else if (const auto *button = qobject_cast<const QAbstractButton *>(control))
            fit = FitOf(*button);
        else if (const auto *box = qobject_cast<const QGroupBox *>(control))
            fit = FitOf(*box);
        EXPECT_TRUE(fit.needed.width() <= fit.room.width() && fit.needed.height() <= fit.room.height())
            << name << " needs " << fit.needed.width() << "x" << fit.needed.height() << " for its text, has "
            << fit.room.width() << "x" << fit.room.height();
    }
}

// Lets the layouts follow the texts the page has just set.
void Settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

using Fit = PageTest;

TEST_F(Fit, EveryPageAndTheChooserFitTheirTextsInBothLanguages)
{
    UseSeed();
    // The chooser looks for prefixes in an empty home, not the developer's.
    const std::string home = MakeTempFolder("korvex-home");
    env_.Set("HOME", home);
    env_.Unset("XDG_DATA_HOME");
    for (const char *lang : {"en_US.UTF-8", "ru_RU.UTF-8"}) {
        env_.SetLanguage(lang);
        for (const PageRow &node : frmTR::Nodes()) {
            const Page &page = Open(node.key);
            Settle();
            ExpectEverythingFits(page, QLatin1String(lang) + QLatin1Char(' ') + page.objectName());
            Leave({No});
        }
        frmMachines chooser;
        chooser.show();
        Settle();
        ExpectEverythingFits(chooser, QLatin1String(lang) + QStringLiteral(" frmMachines"));
    }
    RemoveFolder(home);
}

// The window opens within the screen's free area at any scale, and where the user left it.
TEST_F(Fit, WindowOpensWithinTheScreenAndWhereItWasLeft)
{
    const std::string settings = MakeTempFolder("korvex-settings");
    env_.Set("XDG_CONFIG_HOME", settings);
    MdlStart::Main(AllPages());
    const QRect area = MdlStart::MainWindow()->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(MdlStart::MainWindow()->frameGeometry()));

    // Moved down and made lower (a window may not be narrower than the design, which is about
    // the screen's width here).
    MdlStart::MainWindow()->setGeometry(area.left(), area.top() + 30, area.width() / 2, area.height() * 3 / 4);
    const QRect left = MdlStart::MainWindow()->geometry();
    MdlStart::Shutdown();
    MdlStart::Main(AllPages());
    EXPECT_EQ(MdlStart::MainWindow()->geometry(), left);
    RemoveFolder(settings);
}

} // namespace
