#include "IconPictures.h"

#include "Module.h"

#include "files.h"
#include "machine.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QString>

#include <string>

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
    // Missing, a folder, unreadable, a FIFO or device (which would never end) or too large; on a
    // disk image the file is read from the image.
    std::string bytes;
    if (!win::ReadMachineFile(windowsPath.toStdString(), bytes))
        return false;
    QByteArray data = QByteArray::fromStdString(bytes);
    QBuffer file(&data);
    file.open(QIODevice::ReadOnly);
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
