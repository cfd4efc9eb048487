#!/usr/bin/env python3
"""Draws Korvex's program icon for the desktop's icon theme (hicolor) at the usual sizes.

The picture is the window of the tree's "imgWin" image, which is also the main window's icon,
drawn by make_images.py and enlarged without smoothing by whole multiples; the sizes that are
no multiple of 16 get the largest multiple that fits, centred. Only the standard library is used
and the output does not depend on the run:

    python3 resources/tools/make_desktop_icons.py
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_images  # noqa: E402

APP_ID = "org.halvorn.Korvex"
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
CLEAR = (0, 0, 0, 0)


def enlarged(rows, size):
    scale = max(1, size // len(rows))
    drawn = len(rows) * scale
    margin = (size - drawn) // 2
    out = [[CLEAR] * size for _ in range(size)]
    for y in range(drawn):
        for x in range(drawn):
            out[margin + y][margin + x] = rows[y // scale][x // scale]
    return out


def main():
    base = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "desktop", "icons", "hicolor")
    canvas = make_images.Canvas(16)
    make_images.img_win(canvas)
    rows = make_images.rgba_rows(canvas)
    for size in SIZES:
        folder = os.path.join(base, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, APP_ID + ".png"), "wb") as f:
            f.write(make_images.png(enlarged(rows, size)))


if __name__ == "__main__":
    main()
