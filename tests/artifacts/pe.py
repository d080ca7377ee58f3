"""A small reader of Windows PE files for the checks of dist/: machine type, subsystem,
imported DLLs, exported names and resources (version block, manifest, icon groups,
message table)."""
import struct
import xml.etree.ElementTree as ElementTree

MACHINE_I386 = 0x014C
MACHINE_AMD64 = 0x8664
SUBSYSTEM_GUI = 2
SUBSYSTEM_CONSOLE = 3

RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
RT_MESSAGETABLE = 11

# DLLs that come with every Windows; anything else would have to ship beside us.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "userenv.dll",
    "version.dll", "ws2_32.dll", "wsock32.dll", "shfolder.dll", "ntdll.dll",
}


class PeFile:
    def __init__(self, path, data=None):
        """The file at path, or the image in data (path then only names it)."""
        if data is None:
            with open(path, "rb") as f:
                data = f.read()
        self.data = data
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError(f"{path}: no MZ signature")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE signature")
        self.machine, sections, _, _, _, opt_size, self.characteristics = struct.unpack_from("<HHIIIHH", d, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", d, opt)[0]
        self.is64 = self.magic == 0x20B
        self.subsystem = struct.unpack_from("<H", d, opt + 68)[0]
        dirs = opt + (112 if self.is64 else 96)
        self.directories = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + opt_size
        for i in range(sections):
            name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", d, sec + 40 * i)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} outside every section")

    def cstr(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    @property
    def is_dll(self):
        return bool(self.characteristics & 0x2000)

    def imports(self):
        rva, size = self.directories[1]
        names = []
        if not rva:
            return names
        off = self.offset(rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, off)
            if not any(fields):
                break
            names.append(self.cstr(fields[3]))
            off += 20
        return names

    def exports(self):
        rva, size = self.directories[0]
        if not rva:
            return []
        off = self.offset(rva)
        count = struct.unpack_from("<I", self.data, off + 24)[0]
        names = self.offset(struct.unpack_from("<I", self.data, off + 32)[0])
        return [self.cstr(struct.unpack_from("<I", self.data, names + 4 * i)[0]) for i in range(count)]

    def resources(self):
        """{(type, name, language): bytes}; names are ints or strings."""
        rva, size = self.directories[2]
        out = {}
        if not rva:
            return out
        base = self.offset(rva)

        def entries(dir_off):
            named, ids = struct.unpack_from("<HH", self.data, base + dir_off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + dir_off + 16 + 8 * i)
                if name & 0x80000000:
                    so = base + (name & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.data, so)[0]
                    name = self.data[so + 2:so + 2 + 2 * n].decode("utf-16-le")
                yield name, target

        for rtype, t in entries(0):
            for rname, n in entries(t & 0x7FFFFFFF):
                for lang, leaf in entries(n & 0x7FFFFFFF):
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + leaf)
                    off = self.offset(data_rva)
                    out[(rtype, rname, lang)] = self.data[off:off + data_size]
        return out

    def resource(self, rtype, name=None):
        for (t, n, _), data in self.resources().items():
            if t == rtype and (name is None or n == name):
                return data
        return None

    def version(self):
        """(file version tuple, product version tuple, {string name: value})."""
        data = self.resource(RT_VERSION)
        if data is None:
            return None

        def node(off):
            length, value_len, wtype = struct.unpack_from("<HHH", data, off)
            key_end = off + 6
            while data[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = data[off + 6:key_end].decode("utf-16-le")
            value_off = (key_end + 2 + 3) & ~3
            value_size = value_len * 2 if wtype == 1 else value_len
            children = []
            child = (value_off + value_size + 3) & ~3
            while child < off + length:
                child_len = struct.unpack_from("<H", data, child)[0]
                if child_len == 0:
                    break
                children.append(child)
                child = (child + child_len + 3) & ~3
            return key, data[value_off:value_off + value_size], children

        key, fixed, children = node(0)
        strings = {}
        for child in children:
            ckey, _, tables = node(child)
            if ckey != "StringFileInfo":
                continue
            for table in tables:
                for entry in node(table)[2]:
                    name, value, _ = node(entry)
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
        ms, ls, pms, pls = struct.unpack_from("<IIII", fixed, 8)
        split = lambda hi, lo: (hi >> 16, hi & 0xFFFF, lo >> 16, lo & 0xFFFF)
        return split(ms, ls), split(pms, pls), strings

    def manifest(self):
        data = self.resource(RT_MANIFEST)
        return data.decode("utf-8", "replace") if data is not None else None

    def icon_group(self, name):
        """[(width, bits per pixel)] of an icon group, in its order."""
        data = self.resource(RT_GROUP_ICON, name)
        if data is None:
            return None
        count = struct.unpack_from("<H", data, 4)[0]
        out = []
        for i in range(count):
            w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            out.append((w or 256, bits))
        return out


class Checker:
    """Collects failures; exit status 1 when any."""

    def __init__(self):
        self.failures = []

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)

    def equal(self, actual, expected, what):
        self.check(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")

    def finish(self):
        for f in self.failures:
            print("FAIL:", f)
        if not self.failures:
            print("all checks passed")
        return 1 if self.failures else 0

    def common(self, pe, name, machine, subsystem=None, dll=False):
        self.equal(pe.machine, machine, f"{name} machine")
        if subsystem is not None:
            self.equal(pe.subsystem, subsystem, f"{name} subsystem")
        self.equal(pe.is_dll, dll, f"{name} is a DLL")
        foreign = [d for d in pe.imports() if d.lower() not in SYSTEM_DLLS]
        self.equal(foreign, [], f"{name} imports outside the system DLLs")

    def version_block(self, pe, name, file_version, strings):
        info = pe.version()
        self.check(info is not None, f"{name} has no version block")
        if info is None:
            return
        fixed, product, found = info
        self.equal(fixed, file_version, f"{name} fixed file version")
        self.equal(product, file_version, f"{name} fixed product version")
        for key, value in strings.items():
            self.equal(found.get(key), value, f"{name} version string {key}")

    def manifest(self, pe, name, level):
        """Checks that the manifest is resource 1, well-formed, and asks for the execution
        level; returns its parsed root, or None."""
        names = [key[1] for key in pe.resources() if key[0] == RT_MANIFEST]
        self.equal(names, [1], f"{name} manifest resource names")
        text = pe.manifest()
        if text is None:
            return None
        try:
            root = ElementTree.fromstring(text.encode("utf-8"))
        except ElementTree.ParseError as e:
            self.check(False, f"{name} manifest is not well-formed XML: {e}")
            return None
        levels = [e.get("level") for e in root.iter() if local_name(e.tag) == "requestedExecutionLevel"]
        self.equal(levels, [level], f"{name} requested execution levels")
        return root


def local_name(tag):
    """An XML tag without its namespace."""
    return tag.split("}")[-1]
