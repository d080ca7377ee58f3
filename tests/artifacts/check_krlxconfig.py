#!/usr/bin/env python3
"""Checks krlxconfig.exe in dist/: a 32-bit GUI program asking for administrator rights,
with common controls 6, only system imports, the version block, icons 105/121/130 and
dialog 103; and the 64-bit build it carries as "BINRES" 1, which is not shipped itself."""
import glob
import os
import sys

from pe import MACHINE_AMD64, MACHINE_I386, RT_DIALOG, SUBSYSTEM_GUI, Checker, PeFile, local_name

VERSION_STRINGS = {
    "FileDescription": "Corvalis Configurator",
    "CompanyName": "Quorvane, Ltd.",
    "ProductName": "QZV Corvalis",
    "InternalName": "KRLXCONFIG",
    "FileVersion": "9,0,0,0",
    "ProductVersion": "9,0,0,0",
}
COMMON_CONTROLS = ("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")


def check_program(c, pe, name, machine, original_name):
    c.common(pe, name, machine, SUBSYSTEM_GUI)
    c.equal(pe.is64, machine == MACHINE_AMD64, f"{name} is PE32+")
    c.version_block(pe, name, (9, 0, 0, 0), dict(VERSION_STRINGS, OriginalFilename=original_name))
    for group in (105, 121, 130):
        icons = pe.icon_group(group)
        c.check(bool(icons), f"{name} has no icon group {group}")
    c.check(pe.resource(RT_DIALOG, 103) is not None, f"{name} has no dialog 103")
    root = c.manifest(pe, name, "requireAdministrator")
    if root is None:
        return
    dependencies = [(e.get("name"), e.get("version"), e.get("publicKeyToken"))
                    for d in root.iter() if local_name(d.tag) == "dependentAssembly"
                    for e in d if local_name(e.tag) == "assemblyIdentity"]
    c.equal(dependencies, [COMMON_CONTROLS], f"{name} dependent assemblies")


def main():
    dist = sys.argv[1]
    c = Checker()
    try:
        pe = PeFile(f"{dist}/krlxconfig.exe")
    except (OSError, ValueError) as e:
        c.check(False, f"krlxconfig.exe: {e}")
        return c.finish()
    check_program(c, pe, "krlxconfig.exe", MACHINE_I386, "krlxconfig.exe")

    embedded = [data for (rtype, rname, _), data in pe.resources().items() if rtype == "BINRES" and rname == 1]
    c.equal(len(embedded), 1, "krlxconfig.exe BINRES 1 resources")
    if embedded:
        image = embedded[0]
        c.check(len(image) >= 100000, f"BINRES 1 has {len(image)} bytes, fewer than 100000")
        try:
            check_program(c, PeFile("BINRES 1", image), "BINRES 1", MACHINE_AMD64, "krlxconfig64.exe")
        except ValueError as e:
            c.check(False, f"BINRES 1: {e}")
    shipped = sorted(os.path.basename(p) for p in glob.glob(f"{dist}/krlxconfig*"))
    c.equal(shipped, ["krlxconfig.exe"], "krlxconfig files in dist")
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
