// The catalogue of pages walked row by row through the tree the program builds from it: every
// node opens the page its row names (groups show About), hangs under its parent, has a picture
// and a caption in both languages, and exists only on the platforms its row names.
#include "PageTest.h"
#include "Strings.h"

#include <QDir>
#include <QTreeWidget>

namespace
{

using Catalogue = PageTest;

std::string ParentKeyOf(const QTreeWidgetItem &item)
{
    return item.parent() ? item.parent()->data(0, Qt::UserRole).toString().toStdString() : std::string();
}

// On Windows 98 every row has a node.
TEST_F(Catalogue, EveryNodeOpensItsPageUnderItsParentWithAPictureAndCaptions)
{
    machine_.ReportWindowsVersion("win98");
    const QStringList pictures = QDir(QStringLiteral(":/tree")).entryList();
    QStringList keys;
    for (const PageRow &row : AllPages()) {
        SCOPED_TRACE(row.key);
        EXPECT_FALSE(keys.contains(QLatin1String(row.key))) << "a second row of the key";
        keys << QLatin1String(row.key);
        EXPECT_EQ(Open(row.key).objectName().toStdString(), row.page ? row.page : "frmAbout");
        const QTreeWidgetItem *item = MdlStart::TreeWindow()->ItemOf(QLatin1String(row.key));
        EXPECT_EQ(ParentKeyOf(*item), row.parentKey) << "the parent is no earlier row";
        EXPECT_TRUE(pictures.contains(QLatin1String(row.imageKey)));
        for (const InterfaceLanguage language : {InterfaceLanguage::English, InterfaceLanguage::Russian})
            EXPECT_FALSE(row.captionId ? LoadResString(row.captionId, language).isEmpty() : !*row.literal);
    }
}

// A new machine folder reports Windows NT.
TEST_F(Catalogue, RowsOfTheNineXPlatformHaveNoNodeOnNT)
{
    Open("About");
    for (const PageRow &row : AllPages())
        EXPECT_EQ(MdlStart::TreeWindow()->ItemOf(QLatin1String(row.key)) != nullptr, row.platforms == Platforms::Every)
            << row.key;
}

} // namespace
