#include "PageMap.h"

#include "Page.h"

#include <QHash>

namespace
{

using Maker = Page *(*)();

// Tree keys and the pages they open. A key that is not here shows the About page; the pages of
// the tree are added here as they are built.
const QHash<QString, Maker> &Pages()
{
    static const QHash<QString, Maker> pages{};
    return pages;
}

} // namespace

Page *CreatePage(const QString &key)
{
    const Maker make = Pages().value(key);
    return make ? make() : nullptr;
}
