#include "IconPictures.h"

#include "Module.h"

#include "machine.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QString>

namespace
{

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
    const QImage image = Module::LargeImageOf(reader);
    if (image.isNull())
        return false;
    Show(target, image);
    return true;
}

void ShowResourceIcon(QLabel &target, const char *name)
{
    QImageReader reader(QStringLiteral(":/icons/") + QLatin1String(name));
    Show(target, Module::LargeImageOf(reader));
}

} // namespace IconPictures
