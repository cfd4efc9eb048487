#include "IconPictures.h"

#include "machine.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <algorithm>

namespace
{

// The size Windows draws an icon at in a picture control.
constexpr int kLargeIconSize = 32;

// Of the images in the file, the one Windows shows for a picture: an icon's 32x32 image when
// it has one, else its largest; the only image of any other format.
QImage LargeImageOf(QImageReader &reader)
{
    const int count = std::max(reader.imageCount(), 1);
    QImage best;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        if (image.width() == kLargeIconSize && image.height() == kLargeIconSize)
            return image;
        if (best.isNull() || image.width() * image.height() > best.width() * best.height())
            best = image;
    }
    return best;
}

void Show(QLabel &target, const QImage &image)
{
    target.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    target.setPixmap(QPixmap::fromImage(image));
}

} // namespace

namespace IconPictures
{

bool LoadPicture(QLabel &target, const QString &windowsPath)
{
    const QString host = QString::fromStdString(win::HostPathOf(windowsPath.toStdString()));
    if (host.isEmpty())
        return false;
    QFile file(host);
    if (!file.open(QIODevice::ReadOnly))
        return false; // missing, a folder, or unreadable
    // The format is taken from the contents, not the name: a renamed bitmap still shows.
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    const QImage image = LargeImageOf(reader);
    if (image.isNull())
        return false;
    Show(target, image);
    return true;
}

void ShowResourceIcon(QLabel &target, const char *name)
{
    QImageReader reader(QStringLiteral(":/icons/") + QLatin1String(name));
    Show(target, LargeImageOf(reader));
}

} // namespace IconPictures
