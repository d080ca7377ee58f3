#!/usr/bin/env python3
"""The service host's names and limits stand in one place each, so that they cannot
drift apart: the service name and the display name as whole literals, and the VM option
limit's definition. usage: check_names_defined_once.py HALVORIN_SOURCE_DIR"""
import pathlib
import re
import sys

EXPECTED = [
    ('"Halvorin" literal', re.compile(r'"Halvorin"'), "service_host.h"),
    ('"QZV Halvorin Server" literal', re.compile(r'"QZV Halvorin Server"'), "service_host.h"),
    ("VM option limit", re.compile(r"\bkMaxV[mM]Options\s*="), "jvm_host.h"),
]


def main(folder):
    sources = sorted(p for p in pathlib.Path(folder).iterdir() if p.suffix in (".cpp", ".h"))
    failed = False
    for what, pattern, home in EXPECTED:
        found = [f"{p.name}:{n}" for p in sources
                 for n, line in enumerate(p.read_text(errors="replace").splitlines(), 1)
                 if pattern.search(line) and not line.lstrip().startswith("//")]
        if len(found) != 1 or not found[0].startswith(home + ":"):
            print(f"FAIL: {what} should be defined once, in {home}; found at {found}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
