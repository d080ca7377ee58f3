#!/usr/bin/env python3
"""Checks the stand-in jvm.dll of both trees: machine, the exact export names a real VM
of that architecture has (the 32-bit stack dump under its decorated __stdcall name), the
C runtime it shares with the host (msvcrt.dll: the dump goes to the host's descriptor 1),
and that it is not among the deliverables.
usage: check_standin_exports.py DIST_DIR X86_64_JVM_DLL I686_JVM_DLL"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "artifacts"))
from pe import MACHINE_AMD64, MACHINE_I386, Checker, PeFile  # noqa: E402

EXPORTS = {
    MACHINE_AMD64: ["JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs", "JVM_DumpAllStacks"],
    MACHINE_I386: ["JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs", "_JVM_DumpAllStacks@8"],
}


def main():
    dist, dll64, dll32 = sys.argv[1:4]
    c = Checker()
    for path, machine in ((dll64, MACHINE_AMD64), (dll32, MACHINE_I386)):
        try:
            pe = PeFile(path)
        except (OSError, ValueError) as e:
            c.check(False, f"{path}: {e}")
            continue
        c.common(pe, path, machine, dll=True)
        c.equal(sorted(pe.exports()), EXPORTS[machine], f"{path} exports")
        c.check("msvcrt.dll" in [d.lower() for d in pe.imports()], f"{path} does not import msvcrt.dll")
    c.check(not os.path.exists(os.path.join(dist, "jvm.dll")), "jvm.dll must not be shipped in dist/")
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
