// The pictures of the icon pages: a picture file shown in an image control, and the program's
// own icons "FOLDER" and "DEFAULT" that stand in when a file cannot be shown.
#pragma once

class QLabel;
class QString;

namespace IconPictures
{

// Shows the picture file named by a Windows path (an icon, a bitmap or another picture format)
// in `target`; of an icon's images the large one (32x32, else the largest). False, with `target`
// unchanged, when the file is missing or is no picture that can be drawn.
bool LoadPicture(QLabel &target, const QString &windowsPath);

// Shows the program's own icon resource of that name ("FOLDER", "DEFAULT").
void ShowResourceIcon(QLabel &target, const char *name);

} // namespace IconPictures
