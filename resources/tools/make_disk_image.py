#!/usr/bin/env python3
"""Builds a disk image holding a Windows 95/98/ME folder layout, for tests and demos.

The image gets an MBR with one FAT partition (or a bare floppy-style file system), made by
mkfs.fat or mformat, and a WINDOWS folder with SYSTEM.DAT and USER.DAT written through mtools,
so no kernel mount, FUSE or root is needed:

    python3 resources/tools/make_disk_image.py disk.img --layout fat32
    python3 resources/tools/make_disk_image.py disk.qcow2 --layout fat16 --format qcow2 \\
        --system-dat SYSTEM.DAT --user-dat USER.DAT --file lmhosts=WINDOWS/LMHOSTS

Layouts: fat32 (MBR, partition at 1 MiB), fat16 (MBR, partition at sector 63 as Windows 98's
FDISK puts it), fat16-logical (a Linux primary partition, then FAT16 in the extended chain),
fat12-floppy (a 1.44 MB floppy without a partition table). Formats: raw, vhd-fixed,
vhd-dynamic, qcow2, vdi, vmdk. Without --system-dat/--user-dat the registry files are small
placeholders; any other file goes in with --file HOST=GUEST.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SECTOR = 512
LAYOUTS = {
    # name: (default size in MiB, FAT bits, first sector of the partition, partition type)
    "fat32": (40, 32, 2048, 0x0C),
    "fat16": (16, 16, 63, 0x06),
    "fat16-logical": (24, 16, None, 0x06),
    "fat12-floppy": (None, 12, 0, None),
}
FORMATS = {
    "raw": None,
    "vhd-fixed": ["-O", "vpc", "-o", "subformat=fixed,force_size=on"],
    "vhd-dynamic": ["-O", "vpc", "-o", "subformat=dynamic,force_size=on"],
    "qcow2": ["-O", "qcow2"],
    "vdi": ["-O", "vdi"],
    "vmdk": ["-O", "vmdk"],
}
MSDOS_SYS = "[Paths]\r\nWinDir=C:\\{0}\r\nWinBootDir=C:\\{0}\r\nHostWinBootDrv=C\r\n\r\n[Options]\r\nBootGUI=1\r\n"


def mtools_env():
    """mtools with none of the user's settings."""
    folder = tempfile.mkdtemp(prefix="korvex-mtools-")
    rc = os.path.join(folder, "mtoolsrc")
    with open(rc, "w") as f:
        f.write("MTOOLS_SKIP_CHECK=1\nMTOOLS_NO_VFAT=0\nMTOOLS_LOWER_CASE=0\ndefault_codepage=437\n")
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": folder, "MTOOLSRC": rc,
           "LC_ALL": "C.UTF-8", "MTOOLS_SKIP_CHECK": "1"}
    return env, folder


def run(command, env=None):
    subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL)


def partition_entry(first, count, kind, boot=False):
    # CHS fields are left at the "use LBA" values every system since Windows 95 accepts.
    return struct.pack("<B3sB3sII", 0x80 if boot else 0, b"\xfe\xff\xff", kind, b"\xfe\xff\xff", first, count)


def write_table(f, at, entries):
    f.seek(at + 446)
    f.write(b"".join(entries).ljust(64, b"\0"))
    f.seek(at + 510)
    f.write(b"\x55\xaa")


def partition_disk(raw, layout, sectors):
    """Writes the partition table; returns the file system's first sector and its size."""
    _, _, first, kind = LAYOUTS[layout]
    with open(raw, "r+b") as f:
        if layout != "fat16-logical":
            write_table(f, 0, [partition_entry(first, sectors - first, kind, boot=True)])
            return first, sectors - first
        # A small Linux partition, then an extended one holding one logical FAT16 partition.
        linux, extended = (2048, 8192), (10240, sectors - 10240)
        write_table(f, 0, [partition_entry(*linux, 0x83), partition_entry(*extended, 0x0F)])
        logical_first = 63
        write_table(f, extended[0] * SECTOR, [partition_entry(logical_first, extended[1] - logical_first, kind, True)])
        return extended[0] + logical_first, extended[1] - logical_first


def make_file_system(raw, layout, size_mib, label):
    bits = LAYOUTS[layout][1]
    if layout == "fat12-floppy":
        with open(raw, "wb") as f:
            f.truncate(1474560)
        run(["mformat", "-i", raw, "-f", "1440", "-v", label, "::"], mtools_env()[0])
        return 0
    sectors = size_mib * 1024 * 1024 // SECTOR
    with open(raw, "wb") as f:
        f.truncate(sectors * SECTOR)
    first, count = partition_disk(raw, layout, sectors)
    run(["mkfs.fat", "-F", str(bits), "-n", label, "-h", str(first), "--offset", str(first), raw,
         str(count * SECTOR // 1024)])
    return first * SECTOR


def mark_dirty(raw, offset):
    """Clears the clean-shutdown bit in FAT[1] of every FAT, as a running Windows does."""
    with open(raw, "r+b") as f:
        f.seek(offset)
        boot = f.read(SECTOR)
        bytes_per_sector, _, reserved, fats = struct.unpack_from("<HBHB", boot, 11)
        fat_sectors = struct.unpack_from("<H", boot, 22)[0] or struct.unpack_from("<I", boot, 36)[0]
        fat32 = struct.unpack_from("<H", boot, 22)[0] == 0
        for n in range(fats):
            at = offset + (reserved + n * fat_sectors) * bytes_per_sector
            f.seek(at + (4 if fat32 else 2))
            size = 4 if fat32 else 2
            value = int.from_bytes(f.read(size), "little") & ~(0x08000000 if fat32 else 0x8000)
            f.seek(at + size)
            f.write(value.to_bytes(size, "little"))


def fill(raw, offset, args):
    env, folder = mtools_env()
    image = "%s@@%d" % (raw, offset)
    staging = tempfile.mkdtemp(prefix="korvex-image-")
    try:
        def put(data_or_path, guest, attributes=()):
            source = data_or_path
            if isinstance(data_or_path, bytes):
                source = os.path.join(staging, "file")
                with open(source, "wb") as f:
                    f.write(data_or_path)
            run(["mcopy", "-i", image, "-D", "o", source, "::/" + guest.replace("\\", "/")], env)
            if attributes:
                run(["mattrib", "-i", image] + list(attributes) + ["::/" + guest.replace("\\", "/")], env)

        windows = args.windows_folder
        for folder_name in [windows, windows + "/SYSTEM", windows + "/Start Menu", windows + "/Desktop",
                            windows + "/Fonts"]:
            run(["mmd", "-i", image, "::/" + folder_name], env)
        put(MSDOS_SYS.format(windows).encode("ascii"), "MSDOS.SYS", ("+r", "+h", "+s"))
        registry = ("+r", "+h", "+s")
        put(args.system_dat or b"placeholder SYSTEM.DAT\r\n", windows + "/SYSTEM.DAT", registry)
        put(args.user_dat or b"placeholder USER.DAT\r\n", windows + "/USER.DAT", registry)
        put(b"[boot]\r\nshell=Explorer.exe\r\n", windows + "/SYSTEM.INI")
        put(b"[windows]\r\n", windows + "/WIN.INI")
        for item in args.file:
            host, _, guest = item.partition("=")
            put(host, guest)
    finally:
        shutil.rmtree(staging)
        shutil.rmtree(folder)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--layout", choices=sorted(LAYOUTS), default="fat32")
    parser.add_argument("--format", choices=sorted(FORMATS), default="raw")
    parser.add_argument("--size", type=int, help="disk size in MiB (hard disk layouts)")
    parser.add_argument("--label", default="WIN98")
    parser.add_argument("--windows-folder", default="WINDOWS", help="as WinDir in MSDOS.SYS names it")
    parser.add_argument("--system-dat", help="the SYSTEM.DAT to put in (default: a placeholder)")
    parser.add_argument("--user-dat", help="the USER.DAT to put in (default: a placeholder)")
    parser.add_argument("--file", action="append", default=[], metavar="HOST=GUEST",
                        help="another file to put in, GUEST from the root (WINDOWS/LMHOSTS)")
    parser.add_argument("--dirty", action="store_true", help="leave the FAT marked as not shut down cleanly")
    args = parser.parse_args()

    raw = args.output if args.format == "raw" else args.output + ".raw"
    size = args.size or LAYOUTS[args.layout][0]
    offset = make_file_system(raw, args.layout, size, args.label)
    fill(raw, offset, args)
    if args.dirty:
        mark_dirty(raw, offset)
    if args.format != "raw":
        run(["qemu-img", "convert", "-f", "raw"] + FORMATS[args.format] + [raw, args.output])
        os.unlink(raw)
    return 0


if __name__ == "__main__":
    sys.exit(main())
