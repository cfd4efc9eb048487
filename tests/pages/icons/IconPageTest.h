// The fixture of the icon page tests: PageTest with icon files on the machine's drive C and a
// user who picks a file in the real file dialog.
#pragma once

#include "PageTest.h"

#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <filesystem>

class IconPageTest : public PageTest
{
protected:
    // Writes a one-image 32x32 .ico file of one colour at a Windows path on drive C, making its
    // folders; returns the path.
    std::string WriteIcon(const std::string &windowsPath, QColor colour = Qt::red) const
    {
        const std::string host = win::HostPathOf(windowsPath);
        std::filesystem::create_directories(std::filesystem::path(host).parent_path());
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(colour);
        QImageWriter writer(QString::fromStdString(host), "ico");
        EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
        return windowsPath;
    }

    // Clicks a button that opens the file dialog; the user chooses `windowsPath` in it (or
    // cancels when empty), then answers the boxes that come up.
    Boxes ClickChoosing(const char *button, const std::string &windowsPath,
                        std::vector<MessageBoxAnswerer::Answer> answers = {})
    {
        const ModalWatcher chooser =
            AnswerFileDialogs(windowsPath.empty() ? QString() : QString::fromStdString(win::HostPathOf(windowsPath)));
        return Click(button, std::move(answers));
    }

    // The colour at the centre of a picture control; invalid when it shows nothing.
    static QColor Shown(const QLabel &picture)
    {
        const QImage image = picture.pixmap().toImage();
        return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
    }
};
