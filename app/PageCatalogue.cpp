#include "PageCatalogue.h"

#include "Reg.h"
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

QString SettingCaptionOf(const std::string &pageKey, std::string_view target, std::string_view name)
{
    const PageRow *row = PageRowOf(QString::fromStdString(pageKey));
    return row && row->settingCaption ? row->settingCaption(target, name) : QString();
}

bool IsValueOf(std::string_view target, std::string_view name, win::HKEY root, const QString &key,
               const QString &valueName)
{
    const auto text = [](std::string_view utf8) { return QString::fromUtf8(utf8.data(), std::ssize(utf8)); };
    const QString recorded = text(target) + QStringLiteral(" \"") + text(name) + QLatin1Char('"');
    return recorded.compare(Reg::ValueTarget(root, key, valueName), Qt::CaseInsensitive) == 0;
}

QString CaptionAmong(std::string_view target, std::string_view name, win::HKEY root, const QString &key,
                     std::span<const CaptionedValue> values)
{
    for (const CaptionedValue &value : values)
        if (IsValueOf(target, name, root, key, QLatin1String(value.value)))
            return LoadResString(value.caption);
    return {};
}

bool ExistsOn(const PageRow &row, bool windowsNT)
{
    return row.platforms == Platforms::Every || !windowsNT;
}
