#!/usr/bin/env python3
"""Checks xstop.exe in dist/: a 32-bit console program with an asInvoker manifest, only
system imports and the product's version block; its 64-bit test build is not shipped."""
import glob
import os
import sys

from pe import MACHINE_I386, SUBSYSTEM_CONSOLE, Checker, PeFile

VERSION_STRINGS = {
    "FileDescription": "QZV Halvorin Stop Tool",
    "Comments": "QZV Halvorin Stop Tool",
    "ProductName": "QZV Halvorin",
    "InternalName": "XSTOP",
    "OriginalFilename": "xstop.exe",
    "CompanyName": "Quorvane, Ltd.",
    "FileVersion": "9,0,0,0",
    "ProductVersion": "9,0,0,0",
}


def main():
    dist = sys.argv[1]
    c = Checker()
    try:
        pe = PeFile(f"{dist}/xstop.exe")
    except (OSError, ValueError) as e:
        c.check(False, f"xstop.exe: {e}")
        return c.finish()
    c.common(pe, "xstop.exe", MACHINE_I386, SUBSYSTEM_CONSOLE)
    c.equal(pe.is64, False, "xstop.exe is PE32+")
    c.version_block(pe, "xstop.exe", (9, 0, 0, 0), VERSION_STRINGS)
    c.manifest(pe, "xstop.exe", "asInvoker")
    shipped = sorted(os.path.basename(p) for p in glob.glob(f"{dist}/xstop*"))
    c.equal(shipped, ["xstop.exe"], "xstop files in dist")
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
