#!/usr/bin/env python3
"""Draws the product icon and writes it as a Windows .ico file.

The picture is a rounded square with a white pulse line (a monitoring trace), drawn
with 4x4 supersampling.  Every requested size is written twice: 8-bit palette colour
and 32-bit colour with alpha, both with the 1-bit AND mask that older Windows uses.
The output depends only on the arguments, so the build regenerates identical files.

usage: make_icon.py OUTPUT.ico COLOUR SIZE [SIZE...]     COLOUR is RRGGBB
"""
import struct
import sys

SAMPLES = 4
PULSE = [(0.14, 0.56), (0.34, 0.56), (0.44, 0.28), (0.56, 0.78), (0.66, 0.56), (0.86, 0.56)]


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    cx, cy = ax + t * dx - px, ay + t * dy - py
    return (cx * cx + cy * cy) ** 0.5


def inside_rounded_square(x, y, margin, radius):
    lo, hi = margin + radius, 1.0 - margin - radius
    cx, cy = min(max(x, lo), hi), min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def sample(x, y, base):
    """Colour (r, g, b, a) of the picture at x, y in 0..1, y downwards."""
    if not inside_rounded_square(x, y, 0.04, 0.2):
        return (0, 0, 0, 0)
    shade = 1.15 - 0.3 * y  # lighter at the top
    r, g, b = (min(255, int(c * shade)) for c in base)
    stroke = min(segment_distance(x, y, *PULSE[i], *PULSE[i + 1]) for i in range(len(PULSE) - 1))
    if stroke <= 0.055:
        return (255, 255, 255, 255)
    return (r, g, b, 255)


def render(size, base):
    pixels = []
    for row in range(size):
        for col in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (col + (sx + 0.5) / SAMPLES) / size
                    y = (row + (sy + 0.5) / SAMPLES) / size
                    r, g, b, a = sample(x, y, base)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] // n
            if acc[3]:
                pixels.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], alpha))
            else:
                pixels.append((0, 0, 0, 0))
    return pixels  # top row first


def palette_for(pixels):
    """At most 256 colours: those of the picture, coarsened until they fit."""
    step = 1
    while True:
        colours = sorted({tuple(c // step * step for c in p[:3]) for p in pixels if p[3] >= 128})
        if len(colours) <= 256:
            return colours + [(0, 0, 0)] * (256 - len(colours))
        step *= 2


def nearest(palette, rgb, cache):
    if rgb not in cache:
        cache[rgb] = min(range(len(palette)),
                         key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))
    return cache[rgb]


def and_mask(size, pixels):
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(range(size)):
        line = bytearray(stride)
        for col in range(size):
            if pixels[row * size + col][3] < 128:
                line[col // 8] |= 0x80 >> (col % 8)
        out += line
    return bytes(out)


def bitmap(size, pixels, bits):
    header_colours = 256 if bits == 8 else 0
    xor = bytearray()
    palette = b""
    if bits == 8:
        colours = palette_for(pixels)
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
        stride = (size + 3) // 4 * 4
        cache = {}
        for row in reversed(range(size)):
            line = bytearray(stride)
            for col in range(size):
                r, g, b, a = pixels[row * size + col]
                line[col] = nearest(colours, (r, g, b), cache) if a >= 128 else 0
            xor += line
    else:
        for row in reversed(range(size)):
            for col in range(size):
                r, g, b, a = pixels[row * size + col]
                xor += struct.pack("<BBBB", b, g, r, a)
    mask = and_mask(size, pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, header_colours, 0)
    return header + palette + bytes(xor) + mask


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    out, colour = sys.argv[1], sys.argv[2]
    base = tuple(int(colour[i:i + 2], 16) for i in (0, 2, 4))
    images = []
    for size in (int(s) for s in sys.argv[3:]):
        pixels = render(size, base)
        for bits in (8, 32):
            images.append((size, bits, bitmap(size, pixels, bits)))
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, image in images:
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(image), offset)
        offset += len(image)
    data += b"".join(image for _, _, image in images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
