#!/usr/bin/env python3
"""Draws Brindle's icon at 16, 24, 32 and 48 pixels as 256-colour PNGs.

The icon is a green-to-grey tile (the progress bar's colours) with a white
arrow pointing down onto a white bar. Run from the repository root:
    python3 tools/make_icons.py
"""

import struct
import zlib

GREEN = (0, 255, 0)
GREY = (100, 100, 100)
WHITE = (255, 255, 255)
EDGE = (40, 60, 40)


def pixel(size, x, y):
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    radius = 0.18
    # Rounded tile: outside the corners is transparent.
    cx = min(max(u, radius), 1 - radius)
    cy = min(max(v, radius), 1 - radius)
    distance = ((u - cx) ** 2 + (v - cy) ** 2) ** 0.5
    if distance > radius:
        return None
    if distance > radius - 1.2 / size:
        return EDGE
    # Arrow shaft, arrow head and bar.
    if 0.42 <= u <= 0.58 and 0.16 <= v <= 0.5:
        return WHITE
    if 0.5 <= v <= 0.68 and abs(u - 0.5) <= (0.68 - v) * 1.3:
        return WHITE
    if 0.76 <= v <= 0.86 and 0.2 <= u <= 0.8:
        return WHITE
    t = round(u * 7) / 7
    return tuple(round(g + (e - g) * t) for g, e in zip(GREEN, GREY))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, size):
    rows = [[pixel(size, x, y) for x in range(size)] for y in range(size)]
    palette = [None]
    for row in rows:
        for colour in row:
            if colour not in palette:
                palette.append(colour)
    palette += [(0, 0, 0)] * (256 - len(palette))
    raw = b"".join(b"\0" + bytes(palette.index(c) for c in row) for row in rows)
    plte = b"".join(bytes(c if c else (0, 0, 0)) for c in palette)
    trns = bytes([0] + [255] * 255)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 3, 0, 0, 0))
    png += chunk(b"PLTE", plte) + chunk(b"tRNS", trns)
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as handle:
        handle.write(png)


for icon_size in (16, 24, 32, 48):
    write_png("data/icons/brindle-%d.png" % icon_size, icon_size)
