#!/usr/bin/env python3
"""Draws the application icon, a compact disc, and writes korvante2.ico.

Two images, 32x32 and 16x16, each in the 16 colours of the standard Windows palette.
Run it again only when the picture changes; the .ico it writes is kept in git.
"""
import math
import struct
import sys

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREY, LIGHT_GREY, WHITE, BLUE, CYAN, YELLOW = 0, 8, 7, 15, 4, 14, 11


def pixel(size, x, y):
    """Palette index of one pixel, or None where the icon is transparent."""
    centre = (size - 1) / 2
    dx, dy = x - centre, y - centre
    radius = math.hypot(dx, dy) / (size / 2)
    if radius > 1.0 or radius < 0.16:
        return None
    if radius > 0.92 or radius < 0.24:
        return DARK_GREY if size == 16 else BLACK
    if radius < 0.42:
        return BLUE
    angle = math.degrees(math.atan2(-dy, dx)) % 360
    if 100 <= angle <= 140:
        return WHITE
    if 280 <= angle <= 310:
        return CYAN
    if radius > 0.8 and 20 <= angle <= 60:
        return YELLOW
    return LIGHT_GREY


def image(size):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit XOR bitmap, 1-bit AND mask (bottom up)."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for y in reversed(range(size)):
        indices = [pixel(size, x, y) for x in range(size)]
        row = bytearray()
        for x in range(0, size, 2):
            row.append(((indices[x] or 0) << 4) | (indices[x + 1] or 0))
        xor_rows.append(bytes(row) + b"\0" * (-len(row) % 4))
        mask = bytearray((size + 7) // 8)
        for x, index in enumerate(indices):
            if index is None:
                mask[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def main(path):
    images = [image(32), image(16)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        directory += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as icon:
        icon.write(directory + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "korvante2.ico")
