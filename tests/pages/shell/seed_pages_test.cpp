// The shell tool pages on a new machine, in Russian: each shows what a new Windows 98 has.
#include "PageTest.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace
{

QStringList Rows(const QListWidget &list)
{
    QStringList rows;
    for (int row = 0; row < list.count(); ++row)
        rows << list.item(row)->text();
    return rows;
}

TEST_F(PageTest, ShellPagesShowTheNewMachineInRussian)
{
    UseSeed();
    UseRussian();
    Page &uninstall = Open("Uninstall");
    EXPECT_EQ(Rows(Control<QListWidget>(uninstall, "lbScr")),
              (QStringList{"Internet Explorer Data", "Welcome to Windows 98 Tour"}));
    EXPECT_EQ(Control<QPushButton>(uninstall, "cmdDel").text(), QStringLiteral("Убрать"));

    Page &clock = Open("Clock");
    EXPECT_EQ(Control<QLineEdit>(clock, "txtAM").text(), QStringLiteral("AM"));
    EXPECT_TRUE(Control<QRadioButton>(clock, "optR").isChecked());

    Page &menu = Open("MenuItem");
    EXPECT_EQ(Control<QRadioButton>(menu, "OptAF").text(), QStringLiteral("Все файлы"));
    Control<QRadioButton>(menu, "OptOF").click();
    Control<QLineEdit>(menu, "txtExt").setText(QStringLiteral("txt"));
    Control<QPushButton>(menu, "cmdfind").click();
    EXPECT_EQ(Rows(Control<QListWidget>(menu, "lstMenu")), (QStringList{"open", "print"}));

    Open("SysEl");
    EXPECT_TRUE(Leave().empty());
}

} // namespace
