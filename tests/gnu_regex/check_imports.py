#!/usr/bin/env python3
"""Checks that a 64-bit program linked with gnu_regex imports only system DLLs."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "artifacts"))
from pe import MACHINE_AMD64, SUBSYSTEM_CONSOLE, Checker, PeFile  # noqa: E402


def main():
    path = sys.argv[1]
    c = Checker()
    pe = PeFile(path)
    c.common(pe, os.path.basename(path), MACHINE_AMD64, SUBSYSTEM_CONSOLE)
    return c.finish()


if __name__ == "__main__":
    sys.exit(main())
