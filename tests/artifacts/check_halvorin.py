#!/usr/bin/env python3
"""Checks halvorin.exe, halvorin64.exe and the event message files in dist/."""
import struct
import sys

from pe import (MACHINE_AMD64, MACHINE_I386, RT_MESSAGETABLE, SUBSYSTEM_GUI, Checker, PeFile)

VERSION_STRINGS = {
    "FileDescription": "QZV Halvorin Server",
    "Comments": "QZV Halvorin Server",
    "ProductName": "QZV Halvorin",
    "InternalName": "HALVORIN",
    "OriginalFilename": "halvorin.exe",
    "CompanyName": "Quorvane, Ltd.",
    "FileVersion": "9,0,0,0",
    "ProductVersion": "9,0,0,0",
}


def message_table_entries(data):
    """{id: text} of a message-table resource."""
    blocks = struct.unpack_from("<I", data, 0)[0]
    out = {}
    for b in range(blocks):
        low, high, offset = struct.unpack_from("<III", data, 4 + 12 * b)
        for ident in range(low, high + 1):
            length, flags = struct.unpack_from("<HH", data, offset)
            raw = data[offset + 4:offset + length]
            out[ident] = raw.decode("utf-16-le" if flags & 1 else "latin-1").rstrip("\0")
            offset += length
    return out


def main():
    dist = sys.argv[1]
    c = Checker()
    for name, machine in (("halvorin.exe", MACHINE_I386), ("halvorin64.exe", MACHINE_AMD64)):
        try:
            pe = PeFile(f"{dist}/{name}")
        except (OSError, ValueError) as e:
            c.check(False, f"{name}: {e}")
            continue
        c.common(pe, name, machine, SUBSYSTEM_GUI)
        c.version_block(pe, name, (9, 0, 0, 0), VERSION_STRINGS)
        c.check(pe.icon_group(101) is not None, f"{name} has no icon group 101")
        c.equal(pe.manifest(), None, f"{name} manifest")
        # The service process loads no windowing library at its start (see cstring.cpp).
        c.equal(sorted(d.lower() for d in pe.imports()),
                ["advapi32.dll", "kernel32.dll", "msvcrt.dll", "userenv.dll", "version.dll"], f"{name} imports")
        table = pe.resources()
        messages = [(k, v) for k, v in table.items() if k[0] == RT_MESSAGETABLE]
        c.equal([k[2] for k, _ in messages], [1033], f"{name} message table languages")
        if messages:
            c.equal(message_table_entries(messages[0][1]), {0x40000001: "%1\r\n"}, f"{name} message table")
    for name, machine in (("krlxmsg.dll", MACHINE_I386), ("krlxmsg64.dll", MACHINE_AMD64)):
        try:
            pe = PeFile(f"{dist}/{name}")
        except (OSError, ValueError) as e:
            c.check(False, f"{name}: {e}")
            continue
        c.common(pe, name, machine, dll=True)
        c.equal(pe.imports(), [], f"{name} imports")
        c.version_block(pe, name, (9, 0, 0, 0), {
            "CompanyName": "Quorvane, Ltd.", "ProductName": "QZV Halvorin",
            "FileDescription": "QZV Halvorin Event Messages", "OriginalFilename": name,
            "FileVersion": "9,0,0,0", "ProductVersion": "9,0,0,0"})
        messages = [(k, v) for k, v in pe.resources().items() if k[0] == RT_MESSAGETABLE]
        c.equal([k[2] for k, _ in messages], [1033], f"{name} message table languages")
        if messages:
            c.equal(message_table_entries(messages[0][1]), {0x40000001: "%1\r\n"}, f"{name} message table")
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
