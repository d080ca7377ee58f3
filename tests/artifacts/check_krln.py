#!/usr/bin/env python3
"""Checks krln64.dll in dist/: a 64-bit DLL with exactly the eleven JNI natives under
their undecorated names, only system imports, the two window icon groups in both
colour depths, and the version block. There is no 32-bit build of it."""
import os
import struct
import sys

from pe import MACHINE_AMD64, RT_GROUP_ICON, RT_ICON, Checker, PeFile

EXPORTS = sorted([
    "Java_com_qzvltd_tarnwick_util_wmb_n_1alloc",
    "Java_com_qzvltd_tarnwick_util_wmb_n_1realloc",
    "Java_com_qzvltd_tarnwick_util_wmb_n_1free",
    "Java_com_qzvltd_tarnwick_util_wmb_n_1cap",
    "Java_com_qzvltd_tarnwick_util_wmb_n_1read",
    "Java_com_qzvltd_tarnwick_util_wmb_n_1write",
    "Java_com_qzvltd_tarnwick_util_wmb_n_1readi",
    "Java_com_qzvltd_tarnwick_util_wmb_n_1writei",
    "Java_com_qzvltd_tarnwick_util_wtb_applyIcon",
    "Java_com_qzvltd_tarnwick_util_wtb_gpd",
    "Java_com_qzvltd_tarnwick_util_wtb_grd",
])

ICON_GROUPS = {
    101: [48, 32, 24, 16],
    102: [24, 16],
}

VERSION_STRINGS = {
    "FileDescription": "QZV Corvalis Native Library",
    "Comments": "QZV Corvalis Native Library",
    "ProductName": "QZV Corvalis",
    "InternalName": "KRLN64",
    "OriginalFilename": "krln64.dll",
    "CompanyName": "Quorvane, Ltd.",
    "FileVersion": "9,0,0,0",
    "ProductVersion": "9,0,0,0",
}


def icon_images(pe, group):
    """[(width, height, bits)] read from the RT_ICON images that a group names."""
    data = pe.resource(RT_GROUP_ICON, group)
    out = []
    for i in range(struct.unpack_from("<H", data, 4)[0]):
        icon_id = struct.unpack_from("<H", data, 6 + 14 * i + 12)[0]
        image = pe.resource(RT_ICON, icon_id)
        if image is None:
            out.append(None)
            continue
        width, double_height, _, bits = struct.unpack_from("<iiHH", image, 4)
        out.append((width, double_height // 2, bits))
    return out


def main():
    dist = sys.argv[1]
    c = Checker()
    name = "krln64.dll"
    c.check(not os.path.exists(f"{dist}/krln.dll"), "a 32-bit krln.dll was shipped")
    try:
        pe = PeFile(f"{dist}/{name}")
    except (OSError, ValueError) as e:
        c.check(False, f"{name}: {e}")
        return c.finish()
    c.check(pe.is64, f"{name} is not PE32+")
    c.common(pe, name, MACHINE_AMD64, dll=True)
    c.equal(sorted(pe.exports()), EXPORTS, f"{name} exports")
    for group, sizes in ICON_GROUPS.items():
        images = pe.icon_group(group)
        expected = sorted((size, bits) for size in sizes for bits in (8, 32))
        c.equal(sorted(images) if images is not None else None, expected, f"{name} icon group {group}")
        if images is not None:
            stored = sorted(i for i in icon_images(pe, group) if i is not None)
            c.equal(stored, sorted((w, w, bits) for w, bits in expected), f"{name} images of icon group {group}")
    c.version_block(pe, name, (9, 0, 0, 0), VERSION_STRINGS)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
