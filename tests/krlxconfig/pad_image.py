#!/usr/bin/env python3
"""Copies an executable image and pads it with zero bytes to an exact size, for the
relaunch tests' size limit.   usage: pad_image.py INPUT OUTPUT SIZE"""
import sys

source, target, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(source, "rb") as f:
    data = f.read()
if len(data) > size:
    sys.exit(f"{source} has {len(data)} bytes, more than {size}")
with open(target, "wb") as f:
    f.write(data + b"\0" * (size - len(data)))
