#!/usr/bin/env python3
"""Draws the program's icon, a brick kiln with a flame in its mouth, and
writes it as a Windows .ico with the five images the dialogs and the
console use: 16x16 and 32x32 in 16 colours, 32x32 and 48x48 in 256 colours,
32x32 monochrome. Pure Python, so the file can be rebuilt anywhere:

    python3 res/make_icon.py res/kiln.ico
"""
import struct
import sys

# The 16 colours every display of the time had.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

BRICK = (170, 52, 34)
BRICK_DARK = (120, 30, 20)
MORTAR = (214, 200, 176)
OUTLINE = (40, 16, 8)
MOUTH = (24, 8, 4)
FLAME_OUT = (240, 110, 20)
FLAME_IN = (255, 220, 60)
CHIMNEY = (110, 110, 118)
SMOKE = (190, 190, 198)


def shape_at(x, y, size):
    """The colour at (x, y) in [0,1)^2, or None where the icon is clear."""
    # Smoke puffs above the chimney (only where there is room for them).
    if size >= 32:
        for cx, cy, r in ((0.74, 0.12, 0.07), (0.84, 0.05, 0.05)):
            if (x - cx) ** 2 + (y - cy) ** 2 < r * r:
                return SMOKE
    # Chimney.
    if 0.60 <= x < 0.72 and 0.14 <= y < 0.34:
        return CHIMNEY
    # Kiln body: a dome over a block.
    cx, top, r = 0.5, 0.50, 0.40
    in_dome = y < top and (x - cx) ** 2 + (y - top) ** 2 < r * r
    in_block = top <= y < 0.94 and 0.10 <= x < 0.90
    if not (in_dome or in_block):
        return None
    # Mouth: an arch with a flame.
    mx, mtop, mr = 0.5, 0.66, 0.17
    in_mouth = (0.66 <= y < 0.94 and abs(x - mx) < mr) or \
        (y < 0.66 and (x - mx) ** 2 + (y - mtop) ** 2 < mr * mr)
    if in_mouth:
        fx = abs(x - mx)
        # A teardrop: narrow at its tip, round at its base.
        if y > 0.58:
            t = (y - 0.58) / 0.34          # 0 at the tip, 1 at the floor
            half = 0.12 * min(1.0, t * 1.6)
            if fx < half * 0.55 and y > 0.70:
                return FLAME_IN
            if fx < half:
                return FLAME_OUT
        return MOUTH
    # Bricks with mortar joints on the larger images.
    if size >= 32:
        row = int(y * 10)
        if (y * 10) - row < 0.12:
            return MORTAR
        offset = 0.5 if row % 2 else 0.0
        if ((x * 5 + offset) % 1.0) < 0.08:
            return MORTAR
        return BRICK if row % 2 else BRICK_DARK if size < 48 else BRICK
    return BRICK


def render(size):
    """Pixel rows top-down: an RGB tuple or None per pixel, outlined."""
    px = [[shape_at((i + 0.5) / size, (j + 0.5) / size, size)
           for i in range(size)] for j in range(size)]
    out = [row[:] for row in px]
    for j in range(size):
        for i in range(size):
            if px[j][i] is None or px[j][i] == SMOKE:
                continue
            for dj, di in ((-1, 0), (1, 0), (0, -1), (0, 1)):
                nj, ni = j + dj, i + di
                if not (0 <= nj < size and 0 <= ni < size) or px[nj][ni] is None:
                    out[j][i] = OUTLINE
                    break
    return out


def palette256():
    pal = list(VGA16)
    for c in (BRICK, BRICK_DARK, MORTAR, OUTLINE, MOUTH, FLAME_OUT, FLAME_IN,
              CHIMNEY, SMOKE):
        if c not in pal:
            pal.append(c)
    # A 6x6x6 cube fills the rest, as the system palettes do.
    for r in range(6):
        for g in range(6):
            for b in range(6):
                if len(pal) < 256:
                    pal.append((r * 51, g * 51, b * 51))
    while len(pal) < 256:
        pal.append((0, 0, 0))
    return pal


def nearest(pal, rgb):
    return min(range(len(pal)), key=lambda k: sum((a - b) ** 2 for a, b in zip(pal[k], rgb)))


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def pack_rows(indices, size, bpp):
    """Bottom-up rows of palette indices, each padded to 4 bytes."""
    data = bytearray()
    for j in reversed(range(size)):
        bits = 0
        nbits = 0
        row = bytearray()
        for i in range(size):
            bits = (bits << bpp) | indices[j][i]
            nbits += bpp
            if nbits == 8:
                row.append(bits)
                bits = nbits = 0
        if nbits:
            row.append(bits << (8 - nbits))
        row.extend(b"\0" * (row_bytes(size * bpp) - len(row)))
        data.extend(row)
    return bytes(data)


def image(size, bpp):
    pixels = render(size)
    if bpp == 1:
        pal = [(0, 0, 0), (255, 255, 255)]
        # Monochrome: dark parts black, the rest white.
        def index(rgb):
            return 0 if rgb is None or sum(rgb) < 3 * 110 else 1
    else:
        pal = VGA16 if bpp == 4 else palette256()
        def index(rgb):
            return 0 if rgb is None else nearest(pal, rgb)
    xor = [[index(p) for p in row] for row in pixels]
    mask = [[1 if p is None else 0 for p in row] for row in pixels]
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         0, 0, 0, len(pal), 0)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal)
    return header + colours + pack_rows(xor, size, bpp) + pack_rows(mask, size, 1)


def main(path):
    # The 32x32 image comes first: a static control that shows the icon at
    # its "real size" takes the directory's first entry.
    formats = [(32, 8), (32, 4), (16, 4), (48, 8), (32, 1)]
    images = [image(s, b) for s, b in formats]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (size, bpp), data in zip(formats, images):
        colours = {1: 2, 4: 16, 8: 0}[bpp]
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0,
                           1, bpp, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "kiln.ico")
