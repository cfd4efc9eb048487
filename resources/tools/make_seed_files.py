#!/usr/bin/env python3
"""Makes the files a new Korvex machine starts with besides its registry: an icon library in the
system directory (listed by the system icons page) and a folder with its own icon (shown by the
folder icon page). Every picture is drawn here; nothing comes from Wine or Windows.

    resources/tools/make_seed_files.py resources/seed/files
"""
import colorsys
import os
import struct
import sys

SIZE = 32
ICON_COUNT = 48  # the named system icons 0 to 46, and one more


def palette_of(hue):
    """Sixteen colours: black, white and fourteen shades of one hue."""
    colours = [(0, 0, 0), (255, 255, 255)]
    for i in range(14):
        r, g, b = colorsys.hsv_to_rgb(hue, 0.35 + 0.65 * i / 13, 0.35 + 0.65 * (13 - i) / 13)
        colours.append((int(r * 255), int(g * 255), int(b * 255)))
    return colours


def picture(index):
    """A 32x32 picture of palette indexes: a framed tile with a number of bars that tells icons apart."""
    pixels = [[0] * SIZE for _ in range(SIZE)]
    for y in range(2, SIZE - 2):
        for x in range(2, SIZE - 2):
            edge = x in (2, SIZE - 3) or y in (2, SIZE - 3)
            pixels[y][x] = 0 if edge else 2 + (x + y) * 13 // (2 * SIZE)
    bars = index % 8 + 1
    for bar in range(bars):
        x = 6 + bar * 3
        for y in range(8 + (index // 8) * 2, SIZE - 6):
            pixels[y][x] = 1
    return pixels


def dib(index, hue):
    """The icon image as Windows keeps it in a resource: a 4-bit DIB of double height with its mask."""
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette_of(hue))
    pixels = picture(index)
    xor = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        row = pixels[y]
        xor += bytes((row[x] << 4) | row[x + 1] for x in range(0, SIZE, 2))
    mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            transparent = x < 2 or x >= SIZE - 2 or y < 2 or y >= SIZE - 2
            bits = (bits << 1) | transparent
        mask += struct.pack(">I", bits)
    return header + palette + bytes(xor) + bytes(mask)


def ico(image):
    """A one-image .ico file of a DIB."""
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 22) + image


def resource_section(images, groups, rva):
    """The .rsrc section: RT_ICON (3) and RT_GROUP_ICON (14) directories, each by ID, language 1033."""
    types = [(3, images), (14, groups)]
    directory = bytearray()
    leaves = []  # (offset of the data entry's RVA field, data)

    def table(entries):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, 0, len(entries))

    # Laid out in three levels; offsets are fixed up once every table's place is known.
    root_size = 16 + 8 * len(types)
    name_sizes = [16 + 8 * len(items) for _, items in types]
    lang_count = sum(len(items) for _, items in types)
    names_at = [root_size + sum(name_sizes[:i]) for i in range(len(types))]
    langs_at = root_size + sum(name_sizes)
    entries_at = langs_at + lang_count * 24
    data_at = entries_at + lang_count * 16

    directory += table(types)
    for (type_id, _), at in zip(types, names_at):
        directory += struct.pack("<II", type_id, 0x80000000 | at)
    lang_index = 0
    for type_id, items in types:
        directory += table(items)
        for i, (item_id, _) in enumerate(items):
            directory += struct.pack("<II", item_id, 0x80000000 | (langs_at + (lang_index + i) * 24))
        lang_index += len(items)
    index = 0
    for _, items in types:
        for _ in items:
            directory += table([None]) + struct.pack("<II", 1033, entries_at + index * 16)
            index += 1
    data = bytearray()
    for _, items in types:
        for _, payload in items:
            directory += struct.pack("<IIII", rva + data_at + len(data), len(payload), 0, 0)
            data += payload
            data += b"\0" * (-len(data) % 8)
    assert len(directory) == data_at
    return bytes(directory + data)


def icon_library():
    """A PE32 DLL holding ICON_COUNT icon groups of one image each, IDs in order."""
    images = [(i + 1, dib(i, i / ICON_COUNT)) for i in range(ICON_COUNT)]
    groups = []
    for i, (image_id, image) in enumerate(images):
        entry = struct.pack("<BBBBHHIH", SIZE, SIZE, 16, 0, 1, 4, len(image), image_id)
        groups.append((i + 1, struct.pack("<HHH", 0, 1, 1) + entry))
    section_rva, file_align, section_align = 0x1000, 0x200, 0x1000
    rsrc = resource_section(images, groups, section_rva)
    raw_size = (len(rsrc) + file_align - 1) // file_align * file_align
    image_size = section_rva + (len(rsrc) + section_align - 1) // section_align * section_align

    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 64)
    coff = struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, 224, 0x2102)
    optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 1, 0, 0, raw_size, 0, 0, 0, 0, 0x10000000,
                           section_align, file_align, 4, 0, 0, 0, 4, 0, 0, image_size, file_align, 0, 2, 0,
                           0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    directories = bytearray(16 * 8)
    struct.pack_into("<II", directories, 2 * 8, section_rva, len(rsrc))
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", len(rsrc), section_rva, raw_size, file_align, 0, 0, 0, 0,
                          0x40000040)
    headers = bytes(dos) + b"PE\0\0" + coff + optional + bytes(directories) + section
    headers += b"\0" * (file_align - len(headers))
    return headers + rsrc + b"\0" * (raw_size - len(rsrc))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "seed", "files")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "shell32.dll"), "wb") as f:
        f.write(icon_library())
    with open(os.path.join(folder, "Documents.ico"), "wb") as f:
        f.write(ico(dib(9, 0.58)))
    with open(os.path.join(folder, "Desktop.ini"), "w", encoding="ascii", newline="") as f:
        f.write("[.ShellClassInfo]\r\nIconFile=Documents.ico\r\nIconIndex=0\r\n")


if __name__ == "__main__":
    main()
