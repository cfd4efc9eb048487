#!/usr/bin/python3
"""Reads Windows 9x registry files with independent readers and prints what each one sees, in
one form the tests compare with what they wrote.

usage: creg_oracles.py CHECKER READERS FILE...

For each FILE and each reader named in READERS (comma-separated): a line "@ FILE READER", then
  K/<name>/<name>...        each key, depth first in stored order (names in hex)
  V <name> <type> <data>    its values (name and data in hex)
  ! <text>                  a problem the reader or checker reported
Readers: "check" (the strict checker CHECKER, loaded as a module), "pycreg" (python3-libcreg)
and "cregexport" (libcreg-utils; slow on large files, as it writes its output a few bytes at a time).
"""
import importlib.util
import re
import subprocess
import sys

import pycreg

CODEPAGE = "cp1252"
CREGEXPORT_TYPES = {"REG_NONE": 0, "REG_SZ": 1, "REG_EXPAND_SZ": 2, "REG_BINARY": 3,
                    "REG_DWORD_LITTLE_ENDIAN": 4, "REG_DWORD_BIG_ENDIAN": 5, "REG_LINK": 6,
                    "REG_MULTI_SZ": 7}


def hexname(name):
    return (name or "").encode(CODEPAGE).hex()


def key_line(path):
    return "K" + "".join("/" + hexname(n) for n in path)


def load_checker(path):
    spec = importlib.util.spec_from_file_location("creg_check", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def read_pycreg(path):
    reg = pycreg.file()
    reg.open(path)
    out = []

    def walk(key, names):
        out.append(key_line(names))
        for v in key.values:
            out.append("V %s %d %s" % (hexname(v.name), v.type, (v.data or b"").hex()))
        for sub in key.sub_keys:
            walk(sub, names + [sub.name])

    walk(reg.get_root_key(), [])
    return out


def read_cregexport(path):
    run = subprocess.run(["cregexport", path], capture_output=True, text=True, encoding="utf-8")  # names decoded from CODEPAGE
    if run.returncode != 0:
        return ["! cregexport: " + run.stderr.strip().replace("\n", " ")]
    out, value = [], None

    def flush():
        if value:
            data = value["hex"] if value["hex"] or value["int"] is None else value["int"].to_bytes(4, "little")
            out.append("V %s %d %s" % (value["name"], value["type"], bytes(data).hex()))

    for line in run.stdout.splitlines():
        if line.startswith("Key path: "):
            flush()
            value = None
            rest = line[len("Key path: "):]
            out.append(key_line(rest.split("\\") if rest else []))
        elif line.startswith("Value: "):
            flush()
            name = line.split(" ", 2)[2]
            value = {"name": hexname("" if name == "(default)" else name), "type": 0, "hex": [], "int": None}
        elif value is not None and line.startswith("Type: "):
            kind = re.search(r"\((REG_\w+)\)$", line) or re.search(r"unknown: (0x[0-9a-f]+)", line)
            value["type"] = CREGEXPORT_TYPES[kind.group(1)] if kind.group(1) in CREGEXPORT_TYPES else int(kind.group(1), 16)
        elif value is not None and re.match(r"^[0-9a-f]{8}: ", line):
            value["hex"] += [int(b, 16) for b in line[10:59].split()]
        elif value is not None and value["type"] == 4 and re.match(r"^Data: \d+$", line):
            value["int"] = int(line[6:])
    flush()
    return out


def main():
    checker = load_checker(sys.argv[1])
    readers = sys.argv[2].split(",")
    for path in sys.argv[3:]:
        if "check" in readers:
            print("@ %s check" % path)
            for problem in checker.check(open(path, "rb").read()):
                print("! " + problem)
        for reader, read in (("pycreg", read_pycreg), ("cregexport", read_cregexport)):
            if reader not in readers:
                continue
            print("@ %s %s" % (path, reader))
            try:
                print("\n".join(read(path)))
            except Exception as error:  # a reader that refuses the file
                print("! %s: %s" % (reader, error))


if __name__ == "__main__":
    main()
