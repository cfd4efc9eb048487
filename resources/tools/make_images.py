#!/usr/bin/env python3
"""Draws Korvex's pictures: the tree images (the first of them, imgWin, is also the program's
icon) and the icons FOLDER and DEFAULT.

Every picture is drawn here from rectangles, lines, discs and polygons on a small palette, on a
grid of 16 x 16 design pixels. At 16 pixels each shape is placed pixel by pixel; at any larger
size the same shapes are drawn again at that size (edges, diagonals and curves at the finer
grid, outlines thinner than a design pixel), never enlarged from the small picture. Tree images
are written as .ico files holding the picture at 16, 32 and 48 pixels, FOLDER and DEFAULT at 16
and 32 (32-bit colour with an AND mask, transparent background). Only the standard library is
used, and the output does not depend on the run, so the committed files can always be made again:

    python3 resources/tools/make_images.py [--preview sheet.png]

--preview also writes a sheet of every picture, each size of it, scaled up eight times on a
chequered background.
"""

import math
import os
import struct
import sys
import zlib

# The palette. None is transparent. No opaque pixel uses RGB(192, 192, 192), the mask colour of
# the tree's image list.
BLACK = (0, 0, 0)
DARK = (88, 88, 88)
GREY = (150, 150, 150)
SILVER = (214, 211, 204)
WHITE = (255, 255, 255)
NAVY = (16, 36, 132)
BLUE = (48, 108, 220)
SKY = (140, 196, 250)
TEAL = (0, 128, 128)
GREEN = (52, 168, 64)
DGREEN = (24, 100, 36)
YELLOW = (255, 214, 72)
LYELLOW = (255, 240, 160)
OCHRE = (176, 126, 24)
RED = (214, 44, 44)
DRED = (140, 20, 20)
TAN = (222, 176, 112)
BROWN = (132, 84, 36)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[None] * size for _ in range(size)]

    def dot(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, fill=None, line=None):
        """A rectangle from (x0, y0) to (x1, y1), both corners included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                c = line if edge and line is not None else fill
                if c is not None:
                    self.dot(x, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        """Bresenham's line; a wider line repeats it one pixel down and right."""
        for w in range(width):
            for d in range(width):
                self._line(x0 + w, y0 + d, x1 + w, y1 + d, c)

    def _line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.dot(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def disc(self, cx, cy, r, fill=None, line=None, width=1):
        """A disc measured from pixel centres, with an outline `width` pixels wide."""
        for y in range(self.size):
            for x in range(self.size):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if d <= r:
                    c = line if (line is not None and d > r - width) else fill
                    if c is not None:
                        self.dot(x, y, c)

    def polygon(self, points, c):
        """Fills the pixels whose centres lie inside the polygon (even-odd rule)."""
        n = len(points)
        for y in range(self.size):
            yc = y + 0.5
            xs = []
            for i in range(n):
                (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(self.size):
                    if a <= x + 0.5 <= b:
                        self.dot(x, y, c)

    def pattern(self, x, y, rows, colours):
        """Small hand-placed details: one character per pixel, '.' leaves the pixel alone."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch != ".":
                    self.dot(x + i, y + j, colours[ch])

    def bevel(self, x0, y0, x1, y1, fill=SILVER):
        """A raised button face."""
        self.rect(x0, y0, x1, y1, fill=fill)
        self.line(x0, y0, x1 - 1, y0, WHITE)
        self.line(x0, y0, x0, y1 - 1, WHITE)
        self.line(x0, y1, x1, y1, BLACK)
        self.line(x1, y0, x1, y1, BLACK)
        self.line(x0 + 1, y1 - 1, x1 - 1, y1 - 1, GREY)
        self.line(x1 - 1, y0 + 1, x1 - 1, y1 - 1, GREY)


    def clear(self, x, y):
        """Makes a design pixel transparent again."""
        self.dot(x, y, None)

    def inside(self, x, y, cx, cy, r):
        """Whether pixel (x, y)'s centre lies within r design pixels of (cx, cy)."""
        return math.hypot(x + 0.5 - cx, y + 0.5 - cy) <= r

    def stroke(self, points, c, width):
        """A line through points given on the continuous design grid, `width` design pixels wide."""
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            for y in range(self.size):
                for x in range(self.size):
                    if _distance_to_segment(x + 0.5, y + 0.5, xa, ya, xb, yb) <= width / 2:
                        self.dot(x, y, c)


def _distance_to_segment(px, py, xa, ya, xb, yb):
    dx, dy = xb - xa, yb - ya
    length = dx * dx + dy * dy
    t = 0 if length == 0 else max(0.0, min(1.0, ((px - xa) * dx + (py - ya) * dy) / length))
    return math.hypot(px - (xa + t * dx), py - (ya + t * dy))


class ScaledCanvas(Canvas):
    """The 16 x 16 design drawn at `size` pixels: coordinates stay design pixels, and every shape
    is rasterised at the finer grid. Outlines and lines get three quarters of their design width
    (at least one pixel), so that larger pictures show finer lines rather than fat ones."""

    def __init__(self, size):
        super().__init__(size)
        self.s = size / 16

    def _edge(self, v):
        return int(round(v * self.s))

    def _thickness(self, width):
        return max(1, int(width * self.s * 0.75))

    def _fill_box(self, x0, y0, x1, y1, c):
        """Fills device pixels [x0, x1) x [y0, y1)."""
        for y in range(max(0, y0), min(self.size, y1)):
            for x in range(max(0, x0), min(self.size, x1)):
                self.px[y][x] = c

    def dot(self, x, y, c):
        self._fill_box(self._edge(x), self._edge(y), self._edge(x + 1), self._edge(y + 1), c)

    def rect(self, x0, y0, x1, y1, fill=None, line=None):
        left, top, right, bottom = self._edge(x0), self._edge(y0), self._edge(x1 + 1), self._edge(y1 + 1)
        if fill is not None:
            self._fill_box(left, top, right, bottom, fill)
        if line is not None:
            t = self._thickness(1)
            self._fill_box(left, top, right, top + t, line)
            self._fill_box(left, bottom - t, right, bottom, line)
            self._fill_box(left, top, left + t, bottom, line)
            self._fill_box(right - t, top, right, bottom, line)

    def line(self, x0, y0, x1, y1, c, width=1):
        """From the centre of design pixel (x0, y0) to that of (x1, y1); a wider line of the
        design (drawn there one pixel down and right again) keeps its weight."""
        shift = (width - 1) / 2
        t = self._thickness(width)
        ends = [self._snap(v + 0.5 + shift, t) for v in (x0, y0, x1, y1)]
        self._segment(*ends, c, t)

    def _snap(self, v, thickness):
        """A design coordinate as a device one on which a line of that thickness covers whole
        pixels: a pixel centre for an odd thickness, a pixel edge for an even one."""
        d = v * self.s
        return math.floor(d) + 0.5 if thickness % 2 else float(round(d))

    def _segment(self, xa, ya, xb, yb, c, thickness):
        """A line between device coordinates, `thickness` device pixels wide."""
        for y in range(self.size):
            for x in range(self.size):
                if _distance_to_segment(x + 0.5, y + 0.5, xa, ya, xb, yb) <= thickness / 2:
                    self.px[y][x] = c

    def disc(self, cx, cy, r, fill=None, line=None, width=1):
        s = self.s
        outline = self._thickness(width) / s
        for y in range(self.size):
            for x in range(self.size):
                d = math.hypot((x + 0.5) / s - cx, (y + 0.5) / s - cy)
                if d <= r:
                    c = line if (line is not None and d > r - outline) else fill
                    if c is not None:
                        self.px[y][x] = c

    def polygon(self, points, c):
        s = self.s
        n = len(points)
        for y in range(self.size):
            yc = (y + 0.5) / s
            xs = []
            for i in range(n):
                (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for a, b in zip(xs[::2], xs[1::2]):
                for x in range(self.size):
                    if a <= (x + 0.5) / s <= b:
                        self.px[y][x] = c

    def inside(self, x, y, cx, cy, r):
        return math.hypot((x + 0.5) / self.s - cx, (y + 0.5) / self.s - cy) <= r

    def stroke(self, points, c, width):
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            self._segment(xa * self.s, ya * self.s, xb * self.s, yb * self.s, c, width * self.s)


def canvas(size):
    """The canvas for a picture of `size` pixels."""
    return Canvas(size) if size == 16 else ScaledCanvas(size)


# Shared shapes -------------------------------------------------------------------------------


def folder(c, x0, y0, x1, y1):
    """A closed folder filling the box (x0, y0)-(x1, y1)."""
    tab = max(1, (y1 - y0) // 4)
    c.rect(x0, y0, x0 + (x1 - x0) * 2 // 5, y0 + tab, fill=YELLOW, line=OCHRE)
    c.rect(x0, y0 + tab, x1, y1, fill=YELLOW, line=OCHRE)
    c.line(x0 + 1, y0 + tab + 1, x1 - 1, y0 + tab + 1, LYELLOW)


def drive(c, y0):
    """A hard disk seen from the front, its top edge at row y0 (six rows high)."""
    c.polygon([(2, y0), (14, y0), (16, y0 + 2), (0, y0 + 2)], SILVER)
    c.line(2, y0, 13, y0, WHITE)
    c.rect(0, y0 + 2, 15, y0 + 6, fill=SILVER, line=BLACK)
    c.line(1, y0 + 3, 14, y0 + 3, WHITE)
    c.line(2, y0 + 4, 8, y0 + 4, DARK)
    c.rect(12, y0 + 4, 13, y0 + 4, fill=GREEN)
    c.line(1, y0 + 5, 14, y0 + 5, GREY)
    c.dot(1, y0 + 1, BLACK)
    c.dot(14, y0 + 1, BLACK)
    c.line(2, y0, 13, y0, BLACK)


def picture(c, x0, y0, x1, y1):
    """A framed landscape: sky, sun and a green hill."""
    c.rect(x0, y0, x1, y1, fill=SKY, line=BLACK)
    c.dot(x1 - 2, y0 + 2, YELLOW)
    c.dot(x1 - 3, y0 + 2, YELLOW)
    c.dot(x1 - 2, y0 + 3, YELLOW)
    c.dot(x1 - 3, y0 + 3, YELLOW)
    c.polygon([(x0 + 1, y1), (x0 + 1, y1 - 2), (x0 + 3, y1 - 3.5), (x1, y1 - 1), (x1, y1)], GREEN)


def globe(c, cx, cy, r):
    c.disc(cx, cy, r, fill=BLUE)
    # Land: a few green patches kept inside the disc.
    land = canvas(c.size)
    land.disc(cx - r * 0.35, cy - r * 0.3, r * 0.45, fill=GREEN)
    land.disc(cx + r * 0.4, cy + r * 0.35, r * 0.4, fill=GREEN)
    land.disc(cx - r * 0.2, cy + r * 0.55, r * 0.25, fill=GREEN)
    for y in range(c.size):
        for x in range(c.size):
            if land.px[y][x] and c.inside(x, y, cx, cy, r - 1):
                c.px[y][x] = GREEN
    c.disc(cx, cy, r, line=NAVY)
    c.dot(int(cx - r * 0.45), int(cy - r * 0.6), WHITE)


# The tree images -----------------------------------------------------------------------------


def img_win(c):  # a window
    c.rect(0, 1, 15, 14, fill=WHITE, line=BLACK)
    c.rect(1, 2, 14, 4, fill=NAVY)
    c.rect(12, 3, 13, 3, fill=SILVER)
    c.rect(9, 3, 10, 3, fill=SILVER)
    c.line(1, 5, 14, 5, SILVER)
    c.line(3, 7, 9, 7, GREY)
    c.line(3, 9, 11, 9, GREY)
    c.line(3, 11, 7, 11, GREY)


def img_start(c):  # the start button
    c.bevel(0, 3, 15, 12)
    c.polygon([(2.5, 4.5), (2.5, 11.5), (8, 8)], GREEN)
    c.line(10, 6, 13, 6, BLACK)
    c.line(10, 9, 12, 9, BLACK)


def control_panel(c):  # a panel of sliders
    c.rect(0, 1, 15, 14, fill=SILVER, line=BLACK)
    c.line(1, 2, 14, 2, WHITE)
    for x, knob, colour in ((4, 9, RED), (8, 5, GREEN), (12, 7, BLUE)):
        c.line(x, 4, x, 12, DARK)
        c.rect(x - 1, knob, x + 1, knob + 1, fill=colour)
        c.line(x - 1, knob, x + 1, knob, WHITE)


def img_ie(c):  # the browser: a globe
    globe(c, 8, 8, 7.5)


def root_dir(c):  # a group: a folder
    folder(c, 1, 2, 14, 13)


def img_expl(c):  # the explorer: a folder tree
    folder(c, 0, 0, 6, 3)
    for y in range(4, 14, 2):
        c.dot(2, y, DARK)
    for x in (3, 4):
        c.dot(x, 8, DARK)
        c.dot(x, 13, DARK)
    folder(c, 5, 4, 15, 9)
    folder(c, 5, 10, 15, 15)


def img_hlp(c):  # help: a question mark
    c.disc(8, 8, 7.5, fill=BLUE, line=NAVY)
    if isinstance(c, ScaledCanvas):
        hook = [(5.9, 5.6), (6.1, 4.6), (6.9, 3.9), (8, 3.6), (9.1, 3.9), (9.9, 4.6), (10.1, 5.6), (9.7, 6.6),
                (8.9, 7.3), (8.1, 8.1), (8, 9.5)]
        c.stroke(hook, WHITE, 1.9)
        c.disc(8, 11.9, 1.1, fill=WHITE)
        return
    c.pattern(5, 3, [
        ".####.",
        "##..##",
        "....##",
        "...##.",
        "..##..",
        "..##..",
        "......",
        "..##..",
        "..##..",
    ], {"#": WHITE})


def img_desk(c):  # the desktop: a monitor
    c.rect(0, 0, 15, 11, fill=SILVER, line=BLACK)
    c.rect(2, 2, 13, 9, fill=TEAL, line=DARK)
    c.rect(3, 3, 4, 4, fill=WHITE)
    c.rect(3, 6, 4, 7, fill=YELLOW)
    c.rect(6, 12, 9, 12, fill=GREY)
    c.rect(3, 13, 12, 15, fill=SILVER, line=BLACK)


def img_fld_ico(c):  # a folder's icon: a folder with a picture
    folder(c, 0, 2, 13, 13)
    picture(c, 7, 7, 15, 15)


def img_drv_ico(c):  # a drive's icon: a drive with a picture
    drive(c, 9)
    picture(c, 1, 0, 9, 8)


def img_adm(c):  # administration: a wrench and a screwdriver
    c.line(2, 2, 8, 8, GREY, width=2)
    c.line(9, 9, 13, 13, RED, width=2)
    c.line(9, 9, 13, 13, DRED)
    c.line(12, 3, 3, 12, DARK, width=2)
    c.disc(12.5, 3.5, 3, fill=DARK)
    c.rect(13, 0, 15, 2, fill=None)
    for x, y in ((13, 1), (14, 1), (13, 2), (14, 2), (14, 3), (15, 1), (15, 2)):
        c.clear(x, y)
    c.disc(3, 13, 1.8, fill=DARK)


def img_menu(c):  # a menu
    c.rect(2, 0, 14, 15, fill=SILVER, line=BLACK)
    c.line(3, 1, 13, 1, WHITE)
    for y in (3, 12):
        c.line(4, y, 11, y, BLACK)
    c.rect(3, 5, 13, 8, fill=NAVY)
    c.line(4, 6, 10, 6, WHITE)
    c.line(4, 7, 8, 7, WHITE)
    c.line(4, 10, 12, 10, DARK)


def img_clock(c):  # a clock
    c.disc(8, 8, 7.5, fill=WHITE, line=BLACK, width=1.5)
    for x, y in ((7, 2), (8, 2), (13, 7), (13, 8), (7, 13), (8, 13), (2, 7), (2, 8)):
        c.dot(x, y, DARK)
    c.line(8, 8, 8, 4, BLACK)
    c.line(8, 8, 11, 8, BLACK)
    c.line(7, 8, 5, 11, RED)
    c.dot(8, 8, RED)


def img_tel(c):  # the network: a modem with a telephone on it
    c.rect(1, 8, 14, 13, fill=SILVER, line=BLACK)
    c.line(2, 9, 13, 9, WHITE)
    for x, colour in ((3, GREEN), (5, GREEN), (7, RED), (9, YELLOW)):
        c.dot(x, 11, colour)
    c.rect(0, 14, 15, 14, fill=DARK)
    c.rect(3, 2, 12, 3, fill=BLACK)
    c.rect(1, 3, 4, 5, fill=BLACK)
    c.rect(11, 3, 14, 5, fill=BLACK)
    c.rect(6, 5, 9, 7, fill=DARK)


def run_subst(c):  # drives mounted at start-up: a drive with a green arrow
    drive(c, 9)
    c.rect(6, 0, 9, 4, fill=GREEN, line=DGREEN)
    c.polygon([(3, 4.5), (13, 4.5), (8, 9.5)], GREEN)
    c.line(3, 4, 8, 9, DGREEN)
    c.line(13, 4, 8, 9, DGREEN)


def subst(c):  # a virtual drive: a drive with a folder on it
    drive(c, 9)
    folder(c, 3, 1, 12, 8)


def f_icon(c):  # a file type's icon: a page with a picture
    c.polygon([(2, 0), (10, 0), (14, 4), (14, 16), (2, 16)], WHITE)
    c.line(2, 0, 9, 0, BLACK)
    c.line(2, 0, 2, 15, BLACK)
    c.line(2, 15, 13, 15, BLACK)
    c.line(13, 4, 13, 15, BLACK)
    c.line(9, 0, 13, 4, BLACK)
    c.polygon([(9, 0), (9, 5), (14, 5)], SILVER)
    c.line(9, 0, 9, 4, BLACK)
    c.line(9, 4, 13, 4, BLACK)
    picture(c, 4, 7, 11, 13)


def uninst(c):  # uninstalling: a box with a red cross
    c.polygon([(1, 7), (4, 4), (12, 4), (15, 7)], TAN)
    c.rect(1, 7, 14, 15, fill=TAN, line=BROWN)
    c.line(1, 7, 4, 4, BROWN)
    c.line(4, 4, 11, 4, BROWN)
    c.line(11, 4, 14, 7, BROWN)
    c.line(2, 10, 13, 10, BROWN)
    c.line(8, 0, 14, 6, RED, width=2)
    c.line(14, 0, 8, 6, RED, width=2)


def img_short(c):  # a shortcut: the bent arrow
    c.rect(1, 1, 14, 14, fill=WHITE, line=BLACK)
    c.line(4, 12, 4, 9, BLACK, width=2)
    c.line(4, 9, 8, 5, BLACK, width=2)
    c.polygon([(6, 3), (12, 3), (12, 9)], BLACK)


def img_icons(c):  # icons: a grid of small icons
    colours = [RED, GREEN, BLUE, YELLOW, TEAL, TAN, NAVY, DGREEN, BROWN]
    for i, colour in enumerate(colours):
        x, y = 1 + 5 * (i % 3), 1 + 5 * (i // 3)
        c.rect(x, y, x + 3, y + 3, fill=colour, line=BLACK)
        c.dot(x + 1, y + 1, WHITE)


def img_sf(c):  # searching the web: a globe under a magnifying glass
    c.line(10, 10, 14, 14, BROWN, width=2)
    c.disc(6.5, 6.5, 6.5, fill=SILVER)
    globe(c, 6.5, 6.5, 5)
    c.disc(6.5, 6.5, 6.5, line=BLACK)


def img_se(c):  # the shell's elements: desktop, taskbar, start button and tray
    c.rect(0, 1, 15, 14, fill=TEAL, line=BLACK)
    c.rect(2, 3, 3, 4, fill=WHITE)
    c.rect(2, 6, 3, 7, fill=YELLOW)
    c.rect(1, 10, 14, 13, fill=SILVER)
    c.line(1, 10, 14, 10, WHITE)
    c.rect(2, 11, 4, 12, fill=GREEN)
    c.rect(6, 11, 8, 12, fill=WHITE, line=GREY)
    c.rect(10, 11, 13, 12, fill=SILVER, line=GREY)
    c.dot(11, 11, BLUE)


TREE = [
    ("imgWin", img_win),
    ("imgStart", img_start),
    ("ControlPanel", control_panel),
    ("imgIE", img_ie),
    ("RootDir", root_dir),
    ("imgExpl", img_expl),
    ("imgHlp", img_hlp),
    ("imgDesk", img_desk),
    ("imgFldIco", img_fld_ico),
    ("imgDrvIco", img_drv_ico),
    ("imgAdm", img_adm),
    ("imgMenu", img_menu),
    ("imgClock", img_clock),
    ("imgTel", img_tel),
    ("runSubst", run_subst),
    ("Subst", subst),
    ("FIcon", f_icon),
    ("Uninst", uninst),
    ("imgShort", img_short),
    ("imgIcons", img_icons),
    ("imgSF", img_sf),
    ("imgSE", img_se),
]


# The icons, drawn for each size --------------------------------------------------------------


def folder_icon(c):
    s = c.size
    folder(c, s // 16, s * 3 // 16, s - 1 - s // 16, s - 1 - s * 2 // 16)
    if s >= 32:
        c.line(2, s - 4, s - 3, s - 4, OCHRE)


def default_icon(c):
    """A generic document: a page with a folded corner and lines of text."""
    s = c.size
    k = s // 16
    left, right, fold = 2 * k, s - 1 - 2 * k, 5 * k
    c.polygon([(left, 0), (right - fold + 1, 0), (right + 1, fold), (right + 1, s), (left, s)], WHITE)
    c.line(left, 0, right - fold, 0, BLACK)
    c.line(left, 0, left, s - 1, BLACK)
    c.line(left, s - 1, right, s - 1, BLACK)
    c.line(right, fold, right, s - 1, BLACK)
    c.line(right - fold, 0, right, fold, BLACK)
    c.polygon([(right - fold, 0), (right - fold, fold + 1), (right + 1, fold + 1)], SILVER)
    c.line(right - fold, 0, right - fold, fold, BLACK)
    c.line(right - fold, fold, right, fold, BLACK)
    for i, y in enumerate(range(fold + 3 * k, s - 2 * k, 2 * k)):
        end = right - 2 * k - (3 * k if i % 3 == 2 else 0)
        c.line(left + 2 * k, y, end, y, NAVY if i == 0 else GREY, width=k)


ICONS = [("FOLDER", folder_icon), ("DEFAULT", default_icon)]


# File formats --------------------------------------------------------------------------------


TREE_SIZES = (16, 32, 48)


def picture_rows(draw, size):
    """One picture drawn at `size` pixels, as rows of RGBA."""
    c = canvas(size)
    draw(c)
    return rgba_rows(c)


def rgba_rows(c):
    return [[(0, 0, 0, 0) if p is None else p + (255,) for p in row] for row in c.px]


def png(rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(images):
    """An .ico file of square 32-bit images, each followed by its AND mask (set = transparent)."""
    payloads = []
    for rows in images:
        n = len(rows)
        colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
        stride = (n + 31) // 32 * 4
        mask = b""
        for row in reversed(rows):
            bits = bytearray(stride)
            for x, p in enumerate(row):
                if p[3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(bits)
        header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
        payloads.append((n, header + colour + mask))
    out = struct.pack("<HHH", 0, 1, len(payloads))
    offset = 6 + 16 * len(payloads)
    for n, data in payloads:
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in payloads)


def preview(pictures, path, scale=8, columns=6):
    """All pictures in a grid, enlarged, on a chequered background that shows transparency."""
    gap = 8
    cell = max(len(rows) for rows in pictures) * scale + gap
    lines = (len(pictures) + columns - 1) // columns
    width, height = columns * cell + gap, lines * cell + gap
    sheet = [[(255, 255, 255, 255) if (x // 8 + y // 8) % 2 else (226, 226, 226, 255) for x in range(width)]
             for y in range(height)]
    for i, rows in enumerate(pictures):
        left, top = gap + (i % columns) * cell, gap + (i // columns) * cell
        for y, row in enumerate(rows):
            for x, p in enumerate(row):
                if p[3]:
                    for dy in range(scale):
                        sheet[top + y * scale + dy][left + x * scale:left + (x + 1) * scale] = [p] * scale
    with open(path, "wb") as f:
        f.write(png(sheet))


def main():
    base = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir)
    os.makedirs(os.path.join(base, "tree"), exist_ok=True)
    os.makedirs(os.path.join(base, "icons"), exist_ok=True)
    drawn = []
    for key, draw in TREE:
        images = [picture_rows(draw, size) for size in TREE_SIZES]
        for rows in images:
            assert all(p[:3] != (192, 192, 192) for row in rows for p in row if p[3])
        drawn.extend(images)
        with open(os.path.join(base, "tree", key + ".ico"), "wb") as f:
            f.write(ico(images))
    for name, draw in ICONS:
        images = []
        for size in (16, 32):
            c = Canvas(size)
            draw(c)
            images.append(rgba_rows(c))
        drawn.extend(images)
        with open(os.path.join(base, "icons", name + ".ico"), "wb") as f:
            f.write(ico(images))
    if len(sys.argv) == 3 and sys.argv[1] == "--preview":
        preview(drawn, sys.argv[2])


if __name__ == "__main__":
    main()
