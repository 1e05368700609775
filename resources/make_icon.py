#!/usr/bin/env python3
"""Draws the installer's icon, a closed dictionary with a bookmark and a check mark,
and writes it as resources/mainicon.ico: two 16-colour images, 32x32 and 16x16,
in the standard 16-colour palette. Run it by hand; the icon is committed.
"""

import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GRAY, RED, YELLOW, BLUE, WHITE = 0, 4, 7, 8, 9, 11, 12, 15


# The small image, drawn by hand: . transparent, K black, N navy, B blue, R red,
# Y yellow, W white, S silver.
SMALL = [
    "................",
    "...KKKKKKKKKKK..",
    "...KNBBBBBRRBK..",
    "...KNBBBBBRRBK..",
    "...KNBBBBBRRBK..",
    "...KNBBBBBBBBK..",
    "...KNBBBBBBBYK..",
    "...KNBBBBBBYYK..",
    "...KNBYBBBYYBK..",
    "...KNBYYBYYBBK..",
    "...KNBBYYYBBBK..",
    "...KNBBBYBBBBK..",
    "...KNBBBBBBBBK..",
    "...KNWWWWWWWWK..",
    "...KNSSSSSSSSK..",
    "...KKKKKKKKKKK..",
]
LETTERS = {".": None, "K": BLACK, "N": NAVY, "B": BLUE, "R": RED, "Y": YELLOW, "W": WHITE,
           "S": SILVER}


def draw(size):
    """Rows top to bottom of palette indices; None is transparent."""
    if size == 16:
        return [[LETTERS[c] for c in row] for row in SMALL]
    s = size / 32.0
    pixels = [[None] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(round(y0 * s), round(y1 * s)):
            for x in range(round(x0 * s), round(x1 * s)):
                pixels[y][x] = colour

    box(6, 2, 28, 30, BLACK)      # outline
    box(7, 3, 27, 27, BLUE)       # cover
    box(7, 3, 10, 27, NAVY)       # spine
    box(10, 27, 27, 29, WHITE)    # page edges
    box(10, 28, 27, 29, SILVER)
    box(7, 27, 10, 29, NAVY)
    box(21, 2, 24, 13, RED)       # bookmark ribbon
    # Check mark on the cover.
    for i in range(4):
        box(12 + i, 16 + i, 14 + i, 18 + i, YELLOW)
    for i in range(7):
        box(15 + i, 19 - i, 17 + i, 21 - i, YELLOW)
    return pixels


def image(size):
    pixels = draw(size)
    xor_stride = (size * 4 + 31) // 32 * 4
    and_stride = (size + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is None else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def main():
    images = [image(32), image(16)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, picture in zip((32, 16), images):
        data += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(picture), offset)
        offset += len(picture)
    data += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mainicon.ico")
    with open(path, "wb") as target:
        target.write(data)
    print(f"{path}: {len(data)} bytes")


if __name__ == "__main__":
    main()
