#!/usr/bin/env python3
"""Checks the VERSIONINFO resource of Windows programs against the one version
and copyright in src/engine/version.h: the fixed file and product version, and
the strings Windows' file properties show.

    version_resource.py VERSION_H PROGRAM.exe...
"""
import re
import struct
import sys

KEY = "VS_VERSION_INFO".encode("utf-16-le") + b"\0\0"


def align(offset):
    return (offset + 3) & ~3


def node(data, at):
    """One block of the version resource: its key, its value bytes, its
    children, and where it ends."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = align(key_end + 2)
    # A text value's length counts UTF-16 characters, a binary one bytes.
    size = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + size]
    children, child = [], align(value_at + size)
    while child < end:
        c = node(data, child)
        children.append(c)
        child = align(c["end"])
    return {"key": key, "kind": kind, "value": value, "children": children, "end": end}


def version_info(path):
    data = open(path, "rb").read()
    at = data.find(KEY)
    if at < 6:
        return None
    root = node(data, at - 6)
    fixed = struct.unpack_from("<13I", root["value"])
    if fixed[0] != 0xFEEF04BD:
        raise ValueError("no VS_FIXEDFILEINFO")

    def parts(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for block in root["children"]:
        if block["key"] == "StringFileInfo":
            for table in block["children"]:
                for s in table["children"]:
                    strings[s["key"]] = s["value"].decode("utf-16-le").rstrip("\0")
    return parts(fixed[2], fixed[3]), parts(fixed[4], fixed[5]), strings


def main():
    header = open(sys.argv[1]).read()
    version = re.search(r'kVersionText = "Version ([0-9.]+)"', header).group(1)
    copyright = re.search(r'kCopyrightText = "([^"]*)"', header).group(1)
    failures = 0
    for exe in sys.argv[2:]:
        name = re.sub(r"\.exe$", "", exe.replace("\\", "/").split("/")[-1])
        info = version_info(exe)
        if info is None:
            print("FAIL: %s has no version resource" % exe)
            failures += 1
            continue
        file_version, product_version, strings = info
        expected = {
            "FileVersion": version,
            "ProductVersion": version,
            "ProductName": "Tarnix",
            "CompanyName": "Tarnix developers",
            "OriginalFilename": name + ".exe",
            "InternalName": name,
        }
        problems = []
        if file_version != version or product_version != version:
            problems.append("fixed versions %s and %s, not %s" %
                            (file_version, product_version, version))
        for key, want in expected.items():
            if strings.get(key) != want:
                problems.append("%s is %r, not %r" % (key, strings.get(key), want))
        if not strings.get("LegalCopyright", "").startswith(copyright):
            problems.append("LegalCopyright %r does not begin %r" %
                            (strings.get("LegalCopyright"), copyright))
        if "GPL-3.0-or-later" not in strings.get("LegalCopyright", ""):
            problems.append("LegalCopyright does not name the licence")
        if not strings.get("FileDescription"):
            problems.append("no FileDescription")
        for p in problems:
            print("FAIL: %s: %s" % (name, p))
        failures += len(problems)
        if not problems:
            print("ok: %s.exe: version %s, %s, %s" %
                  (name, version, strings["FileDescription"], strings["LegalCopyright"]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
