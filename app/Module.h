// Routines that several pages share: the Yes/No question asked before saving, the system
// texts of the About page and the icon pages, and drawing an icon taken from a file.
#pragma once

#include <QString>

class QImage;
class QImageReader;
class QLabel;

namespace Module
{

// Asks the shared question: "None" asks string 109 ("Save Changes ?"), any other text is asked
// as it is, under string 110 ("Saving...") with the question icon and Yes/No, Yes the default.
// The box belongs to the active window, if there is one. True when the answer is Yes; only Yes
// and No answer it (Escape and the title bar's close button do nothing).
bool AskSaveChanges(const QString &prompt);

// The computer's network name, the logged-on user's name and the Windows system directory
// (without a trailing "\"). Empty when the platform gives none; never with trailing blanks or
// NULs.
QString ComputerName();
QString CurrentUserName();
QString SystemDirectory();

// Of the images a reader holds, the one Windows draws as a large icon: the 32x32 image when
// there is one, else the largest; the only image of any other format.
QImage LargeImageOf(QImageReader &reader);

// Counts the icons of the file at `path` (a Windows or a host path). Unless `index` is -1,
// the large image (32x32, else the largest) of the icon at `index` becomes the picture of
// `target`, at its top left corner; an index the file does not have draws nothing. Returns the
// number of icons, 0 for a file without any.
int DrawFileIcon(const QString &path, int index, QLabel *target);

} // namespace Module
