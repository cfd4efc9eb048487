#include "PageCatalogue.h"

#include "Strings.h"

namespace
{

PageCatalogue &Installed()
{
    static PageCatalogue pages;
    return pages;
}

} // namespace

PageCatalogue InstalledPages()
{
    return Installed();
}

void InstallPages(PageCatalogue pages)
{
    Installed() = pages;
}

const PageRow *PageRowOf(const QString &key)
{
    for (const PageRow &row : Installed())
        if (key == QLatin1String(row.key))
            return &row;
    return nullptr;
}

QString CaptionOf(const PageRow &row)
{
    return row.captionId ? LoadResString(row.captionId) : QString::fromLatin1(row.literal);
}

bool ExistsOn(const PageRow &row, bool windowsNT)
{
    return row.platforms == Platforms::Every || !windowsNT;
}
