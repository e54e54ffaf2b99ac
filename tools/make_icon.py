#!/usr/bin/env python3
"""Generate the Tastomat application icon (res/tastomat.ico).

The icon shows a shaded red ball cut by horizontal bands on a transparent
background. It holds four classic BMP-format images, in this order:
32x32 and 16x16 with 256 colours, then 32x32 and 16x16 with 16 colours.
The output is fully deterministic, so the .ico can be regenerated at will.

Usage (from the repository root, standard library only):
    python3 tools/make_icon.py res/tastomat.ico
"""
import math
import os
import struct
import sys

# Pixel kinds produced by the motif; shaded ball pixels are a float in [0, 1].
CLEAR, BLUE, GAP = "clear", "blue", "gap"

DARK_BLUE = (0, 0, 128)
WHITE = (255, 255, 255)
VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
         (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
         (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
         (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
REDS = 120  # palette entries 1..REDS hold the red gradient


def lerp(a, b, f):
    return tuple(round(x + (y - x) * f) for x, y in zip(a, b))


def unit(*v):
    n = math.sqrt(sum(a * a for a in v))
    return tuple(a / n for a in v)


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def red_ramp(s):
    """Ball colour for brightness s: dark red -> red -> pale highlight."""
    if s <= 0.7:
        return lerp((70, 0, 0), (235, 20, 20), s / 0.7)
    return lerp((235, 20, 20), (255, 232, 232), (s - 0.7) / 0.3)


def motif(n):
    """Return an n x n grid (top row first) of pixel kinds."""
    c, r = n / 2, n / 2 - (1.0 if n == 32 else 0.5)
    light = unit(-0.55, -0.6, 0.58)           # diffuse light from upper left
    shine = unit(-0.42, -0.48, 0.77)          # centre of the specular highlight
    grid = [[CLEAR] * n for _ in range(n)]
    for y in range(n):
        for x in range(n):
            dx, dy = (x + 0.5 - c) / r, (y + 0.5 - c) / r
            d2 = dx * dx + dy * dy
            if d2 > 1:
                continue
            dz = math.sqrt(1 - d2)
            diffuse = max(0.0, dot((dx, dy, dz), light))
            glint = max(0.0, dot((dx, dy, dz), shine)) ** 30
            grid[y][x] = min(1.0, 0.05 + 0.7 * diffuse + 0.45 * glint)
    if n == 32:    # four dark-blue stripes over the lower two-thirds
        for top in (13, 18, 22, 26):
            for y in (top, top + 1):
                grid[y] = [BLUE if p != CLEAR else p for p in grid[y]]
    else:          # light gaps with dark-blue ends at the ball's edge
        for y in (8, 10, 12, 14):
            inside = [x for x in range(n) if grid[y][x] != CLEAR]
            ends = 2 if len(inside) >= 10 else 1
            for i, x in enumerate(inside):
                edge = i < ends or i >= len(inside) - ends
                grid[y][x] = BLUE if edge else GAP
    return grid


def palette_256():
    """The entries the 256-colour images use, and only those: a DIB names
    how many it holds (biClrUsed), and the 133 unused ones would take
    half a kilobyte in each image."""
    return [(0, 0, 0)] + [red_ramp(i / (REDS - 1)) for i in range(REDS)] + [DARK_BLUE, WHITE]


def index_256(p, x, y):
    if p == CLEAR:
        return 0
    if p == BLUE:
        return REDS + 1
    if p == GAP:
        return REDS + 2
    return 1 + round(p * (REDS - 1))


def index_16(p, x, y):
    if p in (CLEAR, BLUE, GAP):
        return {CLEAR: 0, BLUE: 4, GAP: 15}[p]
    # Dark red, red and white, ordered-dithered in two narrow transitions.
    t = (BAYER4[y % 4][x % 4] + 0.5) / 16
    if p < 0.45:
        return 9 if (p - 0.3) / 0.15 > t else 1
    return 15 if (p - 0.86) / 0.1 > t else 9


def bmp_image(n, bpp, palette, to_index):
    grid = motif(n)
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(n)):                        # bottom-up rows
        idx = [to_index(grid[y][x], x, y) for x in range(n)]
        if bpp == 8:
            row = bytes(idx)
        else:
            row = bytes(idx[i] << 4 | idx[i + 1] for i in range(0, n, 2))
        xor += row + b"\0" * (-len(row) % 4)
        bits = 0
        for x in range(n):
            bits = bits << 1 | (grid[y][x] == CLEAR)
        row = bits.to_bytes(n // 8, "big")
        mask += row + b"\0" * (-len(row) % 4)
    colours_used = len(palette) if len(palette) < 1 << bpp else 0
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, colours_used, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return header + pal + bytes(xor) + bytes(mask)


def build_icon():
    specs = [(32, 8, palette_256(), index_256), (16, 8, palette_256(), index_256),
             (32, 4, VGA16, index_16), (16, 4, VGA16, index_16)]
    images = [(n, bpp, bmp_image(n, bpp, pal, fn)) for n, bpp, pal, fn in specs]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, bpp, data in images:
        colours = 0 if bpp == 8 else 16
        out += struct.pack("<BBBBHHII", n, n, colours, 0, 1, bpp,
                           len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        root, "res", "tastomat.ico")
    with open(path, "wb") as f:
        f.write(build_icon())


if __name__ == "__main__":
    main()
