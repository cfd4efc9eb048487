#include "Module.h"

#include "Strings.h"
#include "icons.h"
#include "win32.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <algorithm>
#include <vector>

namespace
{

// The sizes of the text buffers handed to the platform, as Windows programs of the 9x era
// reserved them; a longer name does not fit and gives the empty text.
constexpr int kNameBufferSize = 255;
constexpr int kDirectoryBufferSize = 128;

// The platform speaks UTF-8 (its ANSI code page here). A buffer prefilled with blanks may
// come back with blanks or a NUL inside the reported length on odd platforms, so the text
// ends at the first NUL and loses its trailing blanks.
QString TextOf(const std::vector<char> &buffer, std::size_t length)
{
    length = std::min(length, buffer.size());
    QByteArray bytes(buffer.data(), static_cast<qsizetype>(length));
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    while (!bytes.isEmpty() && bytes.back() == ' ')
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

std::vector<char> BlankBuffer(int size)
{
    return std::vector<char>(static_cast<std::size_t>(size), ' ');
}

QImage LargeImageOfIco(const std::vector<std::uint8_t> &ico)
{
    QByteArray bytes(reinterpret_cast<const char *>(ico.data()), static_cast<qsizetype>(ico.size()));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device, "ico");
    return Module::LargeImageOf(reader);
}

// Keeps a question open until one of its buttons answers it: Escape and the title bar's close
// button do nothing, as with a Windows question that has no Cancel.
class AnswerRequired : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Cancel))
            return true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

namespace Module
{

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
        if (image.size() == QSize(32, 32))
            return image;
        if (best.isNull() || image.width() * image.height() > best.width() * best.height())
            best = image;
    }
    return best;
}

bool AskSaveChanges(const QString &prompt)
{
    const QString message = prompt == QLatin1String("None") ? LoadResString(109) : prompt;
    QMessageBox box(QMessageBox::Question, LoadResString(110), message, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Yes);
    // Answering No throws the page's edits away: only a deliberate click or key does that.
    box.setWindowFlag(Qt::CustomizeWindowHint);
    box.setWindowFlag(Qt::WindowCloseButtonHint, false);
    AnswerRequired answerRequired;
    box.installEventFilter(&answerRequired);
    return box.exec() == QMessageBox::Yes;
}

QString ComputerName()
{
    std::vector<char> buffer = BlankBuffer(kNameBufferSize);
    win::DWORD size = kNameBufferSize;
    if (!win::GetComputerNameA(buffer.data(), &size))
        return QString();
    return TextOf(buffer, size);
}

QString CurrentUserName()
{
    std::vector<char> buffer = BlankBuffer(kNameBufferSize);
    win::DWORD size = kNameBufferSize;
    // The size that comes back counts the terminator.
    if (!win::GetUserNameA(buffer.data(), &size) || size == 0)
        return QString();
    return TextOf(buffer, size - 1);
}

QString SystemDirectory()
{
    std::vector<char> buffer = BlankBuffer(kDirectoryBufferSize);
    const win::UINT length = win::GetSystemDirectoryA(buffer.data(), kDirectoryBufferSize);
    // A length of the buffer's size or more is the size the path would need.
    if (length == 0 || length >= static_cast<win::UINT>(kDirectoryBufferSize))
        return QString();
    return TextOf(buffer, length);
}

int DrawFileIcon(const QString &path, int index, QLabel *target)
{
    const std::string file = path.toUtf8().toStdString();
    const int count = win::ExtractIconCount(file);
    if (index == -1 || !target)
        return count;
    const QImage image = LargeImageOfIco(win::ExtractIconAsIco(file, index));
    if (!image.isNull()) {
        target->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        target->setPixmap(QPixmap::fromImage(image));
    }
    return count;
}

} // namespace Module
