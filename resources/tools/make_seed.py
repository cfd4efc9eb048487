#!/usr/bin/env python3
"""Writes the registry of a fresh Windows 98 machine folder, resources/seed/*.reg, and the files
Korvex puts into its Windows directory (lmhosts).

Korvex copies the three registry files into a new machine folder when it finds no Wine prefix. They are
in Wine's text format exactly as Wine itself would save them (keys depth-first, siblings and values
sorted by their lower-cased names, hex data wrapped at Wine's width), so that a Wine started on
the folder reads them and Korvex's own writer keeps them byte for byte.

Run from anywhere: python3 resources/tools/make_seed.py
"""

import os
import struct

# All keys carry one fixed modification time (1999-05-05 00:00:00 UTC), so the files come out the
# same on every run.
UNIX_TIME = 925862400
FILETIME = UNIX_TIME * 10_000_000 + 116_444_736_000_000_000

REG_SZ, REG_BINARY, REG_DWORD, REG_LINK = 1, 3, 4, 6

WINDOWS = "C:\\windows"
SYSTEM = WINDOWS + "\\system32"


def sz(text):
    return (REG_SZ, text)


def binary(*data):
    return (REG_BINARY, bytes(data))


def link(target):
    return (REG_LINK, target.encode("utf-16-le"))


# Each hive: key path (components joined by "\") -> {value name: value}. "@" names the default
# value. A path listed only to exist gets an empty dictionary.

INTERNATIONAL = {
    "iCountry": sz("1"),
    "iCurrDigits": sz("2"),
    "iCurrency": sz("0"),
    "iDate": sz("0"),
    "iDigits": sz("2"),
    "iLZero": sz("0"),
    "iMeasure": sz("1"),
    "iNegCurr": sz("0"),
    "iTime": sz("0"),
    "iTLZero": sz("0"),
    "Locale": sz("00000409"),
    "s1159": sz("AM"),
    "s2359": sz("PM"),
    "sCountry": sz("United States"),
    "sCurrency": sz("$"),
    "sDate": sz("/"),
    "sDecimal": sz("."),
    "sLanguage": sz("ENU"),
    "sList": sz(","),
    "sLongDate": sz("dddd, MMMM dd, yyyy"),
    "sShortDate": sz("M/d/yy"),
    "sThousand": sz(","),
    "sTime": sz(":"),
    "sTimeFormat": sz("h:mm:ss tt"),
}

CURRENT_VERSION = "Software\\Microsoft\\Windows\\CurrentVersion"

SYSTEM_HIVE = {
    "Enum\\Root\\Net\\0000": {
        "Class": sz("Net"),
        "DeviceDesc": sz("Dial-Up Adapter"),
        "Driver": sz("Net\\0000"),
        "HardwareID": sz("*PNP8387"),
        "Mfg": sz("Microsoft"),
    },
    "Software\\Classes\\*": {},
    "Software\\Classes\\.lnk": {"@": sz("lnkfile")},
    "Software\\Classes\\.pif": {"@": sz("piffile")},
    "Software\\Classes\\.txt": {"@": sz("txtfile"), "Content Type": sz("text/plain")},
    "Software\\Classes\\Folder": {"@": sz("Folder")},
    "Software\\Classes\\Folder\\DefaultIcon": {"@": sz(SYSTEM + "\\shell32.dll,3")},
    "Software\\Classes\\lnkfile": {
        "@": sz("Shortcut"),
        "IsShortCut": sz(""),
        "NeverShowExt": sz(""),
    },
    "Software\\Classes\\piffile": {
        "@": sz("Shortcut to MS-DOS Program"),
        "IsShortCut": sz(""),
        "NeverShowExt": sz(""),
    },
    "Software\\Classes\\txtfile": {"@": sz("Text Document")},
    "Software\\Classes\\txtfile\\DefaultIcon": {"@": sz(SYSTEM + "\\shell32.dll,-152")},
    "Software\\Classes\\txtfile\\shell\\open\\command": {"@": sz(WINDOWS + "\\notepad.exe %1")},
    "Software\\Microsoft\\Internet Explorer": {"Version": sz("5.00.2614.3500")},
    "Software\\Microsoft\\Internet Explorer\\Main": {"Start Page": sz("http://www.msn.com/")},
    "Software\\Microsoft\\Internet Explorer\\Main\\UrlTemplate": {
        "1": sz("www.%s.com"),
        "2": sz("www.%s.org"),
        "3": sz("www.%s.net"),
        "4": sz("www.%s.edu"),
    },
    CURRENT_VERSION: {
        "ProductName": sz("Microsoft Windows 98"),
        "SubVersionNumber": sz(" A "),
        "SystemRoot": sz(WINDOWS),
        "Version": sz("Windows 98"),
        "VersionNumber": sz("4.10.2222"),
    },
    CURRENT_VERSION + "\\Explorer\\Shell Icons": {},
    CURRENT_VERSION + "\\Run": {},
    CURRENT_VERSION + "\\Uninstall": {},
    CURRENT_VERSION + "\\Winlogon": {},
    "System\\ControlSet001\\Control\\ComputerName\\ComputerName": {"ComputerName": sz("KORVEX98")},
    "System\\ControlSet001\\Control\\Update": {"UpdateMode": binary(0x01)},
    "System\\ControlSet001\\Services\\Class\\Net\\0000": {"DriverDesc": sz("Dial-Up Adapter")},
    "System\\ControlSet001\\Services\\Class\\NetTrans\\0000": {
        "DriverDesc": sz("TCP/IP"),
        "IPAddress": sz("0.0.0.0"),
        "IPMask": sz("0.0.0.0"),
    },
    "System\\ControlSet001\\Services\\VxD\\MSTCP": {
        "EnableDNS": sz("0"),
        "Start": binary(0x00),
        "StaticVxD": sz("vtcp.386"),
    },
    # A link key: Wine follows it, and so does Korvex.
    "System\\CurrentControlSet": {"SymbolicLinkValue": link("\\Registry\\Machine\\System\\ControlSet001")},
}


def add_shell_tools(system_hive):
    """The shell tool pages' share of a new Windows 98: two registered uninstallers (one named and
    started by its quiet values only) and a second verb of the text file class. The regional
    settings the clock page edits are in INTERNATIONAL."""
    uninstall = CURRENT_VERSION + "\\Uninstall"
    rundll = WINDOWS + "\\rundll32.exe "
    # A key without values is saved only through its subkeys once it has some, as Wine saves it.
    if not system_hive.get(uninstall):
        system_hive.pop(uninstall, None)
    system_hive[uninstall + "\\WinTour"] = {
        "DisplayName": sz("Welcome to Windows 98 Tour"),
        "UninstallString": sz(rundll + "setupx.dll,InstallHinfSection DefaultUninstall 132 " + WINDOWS + "\\inf\\tour98.inf"),
    }
    system_hive[uninstall + "\\IEData"] = {
        "QuietDisplayName": sz("Internet Explorer Data"),
        "QuietUninstallString": sz(rundll + "advpack.dll,LaunchINFSection " + WINDOWS + "\\inf\\iedata.inf,Uninstall"),
    }
    system_hive["Software\\Classes\\txtfile\\shell\\print"] = {"@": sz("&Print")}
    system_hive["Software\\Classes\\txtfile\\shell\\print\\command"] = {"@": sz(WINDOWS + "\\notepad.exe /p %1")}


add_shell_tools(SYSTEM_HIVE)

USER_HIVE = {
    "Control Panel\\International": INTERNATIONAL,
    "Software\\Microsoft\\Internet Explorer\\Main": {"Start Page": sz("http://www.msn.com/")},
    CURRENT_VERSION + "\\Explorer": {},
    CURRENT_VERSION + "\\Policies\\Explorer": {"NoDriveTypeAutoRun": binary(0x95, 0x00, 0x00, 0x00)},
    # The Windows version every program of this machine is told, Wine programs included.
    "Software\\Wine": {"Version": sz("win98")},
}

DEFAULT_USER_HIVE = {
    "Control Panel\\International": INTERNATIONAL,
    CURRENT_VERSION + "\\Explorer": {},
}


def add_icon_pages(system_hive, user_hive):
    """File types with icons of their own for the file type icon page, and the browser's title for
    its appearance page."""
    classes = "Software\\Classes\\"
    for extension, file_type, description, icon in [
        (".bat", "batfile", "MS-DOS Batch File", SYSTEM + "\\shell32.dll,-153"),
        (".ini", "inifile", "Configuration Settings", SYSTEM + "\\shell32.dll,-151"),
        (".log", "txtfile", None, None),
    ]:
        system_hive[classes + extension] = {"@": sz(file_type)}
        if description:
            system_hive[classes + file_type] = {"@": sz(description)}
            system_hive[classes + file_type + "\\DefaultIcon"] = {"@": sz(icon)}
    system_hive["Software\\Microsoft\\Internet Explorer\\Main"]["Window Title"] = sz("Microsoft Internet Explorer")
    user_hive["Software\\Microsoft\\Internet Explorer\\Main"]["Window Title"] = sz("Microsoft Internet Explorer")


add_icon_pages(SYSTEM_HIVE, USER_HIVE)

FILES = [
    ("system.reg", "REGISTRY\\\\Machine", SYSTEM_HIVE),
    ("user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", USER_HIVE),
    ("userdef.reg", "REGISTRY\\\\User\\\\.Default", DEFAULT_USER_HIVE),
]


def escape(text, quotes):
    """Escapes a name or string per UTF-16 unit the way Wine writes it."""
    units = struct.unpack("<%dH" % (len(text.encode("utf-16-le")) // 2), text.encode("utf-16-le"))
    letters = {7: "a", 8: "b", 9: "t", 10: "n", 11: "v", 12: "f", 13: "r", 27: "e"}
    out = []
    for i, c in enumerate(units):
        following = units[i + 1] if i + 1 < len(units) else 0
        if c >= 0x80:
            hex_next = following < 0x80 and chr(following) in "0123456789abcdefABCDEF"
            out.append("\\x%04x" % c if hex_next else "\\x%x" % c)
        elif c < 0x20:
            if c in letters:
                out.append("\\" + letters[c])
            else:
                octal_next = ord("0") <= following <= ord("7")
                out.append("\\%03o" % c if octal_next else "\\%o" % c)
        elif chr(c) == "\\" or chr(c) in quotes:
            out.append("\\" + chr(c))
        else:
            out.append(chr(c))
    return "".join(out)


def fold(name):
    """The sort key of a name: its UTF-16 units, lower-cased."""
    return [ord(ch) for ch in name.lower().encode("utf-16-le").decode("utf-16-le")]


def format_value(name, value):
    kind, data = value
    head = "@=" if name == "@" else '"%s"=' % escape(name, '"')
    if kind == REG_SZ:
        return head + '"%s"' % escape(data, '"')
    if kind == REG_DWORD:
        return head + "dword:%08x" % data
    tag = "hex:" if kind == REG_BINARY else "hex(%x):" % kind
    line = head + tag
    count = len(line)
    for i, byte in enumerate(data):
        line += "%02x" % byte
        count += 2
        if i < len(data) - 1:
            line += ","
            count += 1
            if count > 76:
                line += "\\\n  "
                count = 2
    return line


def build_tree(hive):
    """Nested dictionaries: name -> (values or None, children)."""
    root = {}
    for path, values in hive.items():
        node = root
        parts = path.split("\\")
        for i, part in enumerate(parts):
            entry = node.setdefault(part.lower(), [part, None, {}])
            if i == len(parts) - 1:
                entry[1] = values
            node = entry[2]
    return root


def write_keys(node, path, out):
    for key in sorted(node, key=fold):
        name, values, children = node[key]
        full = path + [name]
        if values is not None or not children:
            values = values or {}
            out.append("")
            out.append("[%s] %d" % ("\\\\".join(escape(p, "[]") for p in full), UNIX_TIME))
            out.append("#time=%x%08x" % (FILETIME >> 32, FILETIME & 0xFFFFFFFF))
            if "SymbolicLinkValue" in values:
                out.append("#link")
            for value_name in sorted(values, key=lambda n: fold("" if n == "@" else n)):
                out.append(format_value(value_name, values[value_name]))
        write_keys(children, full, out)


# The host-name file of the Windows directory, as a user of the network would keep it: a comment
# and the machine's own name, lines ended by CR LF as Windows writes them.
LMHOSTS_LINES = [
    "# Addresses and NetBIOS names, read before the network is asked.",
    "127.0.0.1\tlocalhost",
]


def write_internet_files(folder):
    with open(os.path.join(folder, "lmhosts"), "w", encoding="ascii", newline="") as f:
        f.write("".join(line + "\r\n" for line in LMHOSTS_LINES))


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "seed")
    os.makedirs(folder, exist_ok=True)
    write_internet_files(folder)
    for file_name, root, hive in FILES:
        # Debian's Wine is 64-bit only and refuses a prefix without this line as a 32-bit one.
        lines = ["WINE REGISTRY Version 2", ";; All keys relative to " + root, "", "#arch=win64"]
        write_keys(build_tree(hive), [], lines)
        with open(os.path.join(folder, file_name), "w", encoding="ascii", newline="\n") as f:
            f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
