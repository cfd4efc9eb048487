#!/usr/bin/python3
"""Reads Windows 9x registry files with readers written by others and reports every file that
one of them reads differently from what the tests wrote into it.

usage: creg_oracles.py CHECKER FILE...   prints one line per disagreement, nothing when all agree
       creg_oracles.py --missing CHECKER names the readers that are not installed

Beside each FILE, FILE.txt holds what it should read as, one line each, depth first in stored
order:
  K/<name>/<name>...       a key (names in hex)
  V <name> <type> <data>   one of its values (name and data in hex)
The readers: the strict checker CHECKER (must find no problem), python3-libcreg, Parse::Win32Registry
(creg_oracle.pl) and, for files named *.full.dat, cregexport (slow on large files, as it writes
its output a few bytes at a time).
"""
import importlib.util
import os
import re
import shutil
import subprocess
import sys

CODEPAGE = "cp1252"
PERL_READER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "creg_oracle.pl")
CREGEXPORT_TYPES = {"REG_NONE": 0, "REG_SZ": 1, "REG_EXPAND_SZ": 2, "REG_BINARY": 3,
                    "REG_DWORD_LITTLE_ENDIAN": 4, "REG_DWORD_BIG_ENDIAN": 5, "REG_LINK": 6,
                    "REG_MULTI_SZ": 7}


def hexname(name):
    return (name or "").encode(CODEPAGE).hex()


def key_line(path):
    return "K" + "".join("/" + hexname(n) for n in path)


def missing(checker):
    gone = [] if os.path.isfile(checker) else ["the checker " + checker]
    if importlib.util.find_spec("pycreg") is None:
        gone.append("python3-libcreg")
    if shutil.which("cregexport") is None:
        gone.append("libcreg-utils")
    if subprocess.run(["perl", "-MParse::Win32Registry", "-e1"], capture_output=True).returncode:
        gone.append("libparse-win32registry-perl")
    return gone


def read_pycreg(path):
    import pycreg
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
    # cregexport writes names decoded from CODEPAGE as UTF-8
    run = subprocess.run(["cregexport", path], capture_output=True, text=True, encoding="utf-8")
    if run.returncode != 0:
        raise RuntimeError(run.stderr.strip().replace("\n", " "))
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
            name = kind.group(1)
            value["type"] = CREGEXPORT_TYPES[name] if name in CREGEXPORT_TYPES else int(name, 16)
        elif value is not None and re.match(r"^[0-9a-f]{8}: ", line):
            value["hex"] += [int(b, 16) for b in line[10:59].split()]
        elif value is not None and value["type"] == 4 and re.match(r"^Data: \d+$", line):
            value["int"] = int(line[6:])
    flush()
    return out


def read_perl(paths):
    """Parse::Win32Registry's reading of every file, by file."""
    run = subprocess.run(["perl", PERL_READER] + paths, capture_output=True, text=True, encoding="latin-1")
    seen, lines = {}, None
    for line in run.stdout.splitlines():
        if line.startswith("@ "):
            lines = seen.setdefault(line[2:], [])
        elif lines is not None:
            lines.append(line)
    return seen


def compare(path, reader, expected, got):
    for i, (want, have) in enumerate(zip(expected + [None] * len(got), got + [None] * len(expected))):
        if want != have:
            print("%s read by %s, line %d: expected %r, read %r" % (path, reader, i + 1, want, have))
            return


def main():
    if sys.argv[1] == "--missing":
        print(", ".join(missing(sys.argv[2])))
        return
    found = importlib.util.spec_from_file_location("creg_check", sys.argv[1])
    checker = importlib.util.module_from_spec(found)
    found.loader.exec_module(checker)
    paths = sys.argv[2:]
    perl = read_perl(paths)
    for path in paths:
        expected = open(path + ".txt").read().splitlines()
        for problem in checker.check(open(path, "rb").read()):
            print("%s: the checker finds: %s" % (path, problem))
        readers = [("pycreg", read_pycreg)] + ([("cregexport", read_cregexport)] if path.endswith(".full.dat") else [])
        for name, read in readers:
            try:
                compare(path, name, expected, read(path))
            except Exception as error:  # the reader refused the file
                print("%s: %s cannot read it: %s" % (path, name, error))
        compare(path, "Parse::Win32Registry", expected, perl.get(path, ["(no output)"]))


if __name__ == "__main__":
    main()
