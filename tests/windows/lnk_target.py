#!/usr/bin/env python3
"""Prints what a Windows shortcut (.lnk) starts: the target's path, then its
working folder and its icon's place, one a line (empty when absent). The
installer's Start-menu entry is read this way, so the test runs the program
the player's click would run.

    lnk_target.py FILE.lnk
"""
import struct
import sys

HAS_ID_LIST = 0x01
HAS_LINK_INFO = 0x02
HAS_NAME = 0x04
HAS_RELATIVE_PATH = 0x08
HAS_WORKING_DIR = 0x10
HAS_ARGUMENTS = 0x20
HAS_ICON_LOCATION = 0x40
IS_UNICODE = 0x80


def c_string(data, at, wide):
    if wide:
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le")
    end = data.index(b"\0", at)
    return data[at:end].decode("mbcs" if sys.platform == "win32" else "latin-1")


def parse(data):
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise ValueError("not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        size, header = struct.unpack_from("<II", data, at)
        info_flags, _, base_offset = struct.unpack_from("<III", data, at + 8)
        if info_flags & 1:  # VolumeIDAndLocalBasePath
            if header >= 0x24:
                unicode_offset = struct.unpack_from("<I", data, at + 0x1C)[0]
                target = c_string(data, at + unicode_offset, True)
            else:
                target = c_string(data, at + base_offset, False)
        at += size
    strings = {}
    wide = bool(flags & IS_UNICODE)
    for flag, name in ((HAS_NAME, "name"), (HAS_RELATIVE_PATH, "relative"),
                       (HAS_WORKING_DIR, "workdir"), (HAS_ARGUMENTS, "arguments"),
                       (HAS_ICON_LOCATION, "icon")):
        if flags & flag:
            count = struct.unpack_from("<H", data, at)[0]
            at += 2
            width = 2 if wide else 1
            raw = data[at:at + count * width]
            strings[name] = raw.decode("utf-16-le" if wide else "latin-1").rstrip("\0")
            at += count * width
    if not target and "relative" in strings:
        target = strings["relative"]
    workdir = strings.get("workdir", "")
    # Without a Unicode path the link keeps the target in the ANSI code page,
    # where letters beyond it read "?" (Wine writes links so). The working
    # folder is kept in Unicode: when the target is that folder's file seen
    # through the code page, the folder gives the letters back.
    if "?" in target and workdir:
        name = target.rsplit("\\", 1)[-1]
        whole = workdir.rstrip("\\") + "\\" + name
        if whole.encode("cp1252", errors="replace").decode("cp1252") == target:
            target = whole
    return target, workdir, strings.get("icon", "")


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as f:
        target, workdir, icon = parse(f.read())
    if not target:
        print(f"{sys.argv[1]}: the shortcut names no target", file=sys.stderr)
        return 1
    print(target)
    print(workdir)
    print(icon)
    return 0


if __name__ == "__main__":
    sys.exit(main())
