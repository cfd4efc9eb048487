#!/usr/bin/env python3
"""Draws Korvex's program icon for the desktop's icon theme (hicolor) at the usual sizes.

The picture is the window of the tree's "imgWin" image, which is also the main window's icon,
drawn by make_images.py at each size itself (not enlarged from a smaller one). Only the standard
library is used and the output does not depend on the run:

    python3 resources/tools/make_desktop_icons.py
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_images  # noqa: E402

APP_ID = "org.halvorn.korvex"
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def main():
    base = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "desktop", "icons", "hicolor")
    for size in SIZES:
        folder = os.path.join(base, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, APP_ID + ".png"), "wb") as f:
            f.write(make_images.png(make_images.picture_rows(make_images.img_win, size)))


if __name__ == "__main__":
    main()
