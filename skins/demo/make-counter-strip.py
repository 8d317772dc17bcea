#!/usr/bin/env python3
"""Draws the demo skin's digit strip, counter.bmp, beside this script.

An odometer drum: ten 14 x 24 cells, digits 0 to 9 from left to right, cream
digits on a dark drum that is lighter in the middle, each cell closed by a
black line on its right so that neighbouring drums stay apart when the
counter packs cells without spacing. The counter uses a cell width of strip
width div 10, so the strip is exactly 140 pixels wide.

None of the strip's colours is the counter's default face colour (clBtnFace),
because the counter lets that colour through as transparent.

Standard library only; the output is a 24-bit bottom-up Windows bitmap and
is the same byte for byte on every run. Usage: make-counter-strip.py [--check]
(--check compares with the file instead of writing it; exit status 1 when
they differ).
"""
import os
import struct
import sys

CELL_WIDTH = 14
CELL_HEIGHT = 24
SCALE = 2  # each font pixel becomes SCALE x SCALE
GLYPH_LEFT = 2
GLYPH_TOP = 3

INK = (240, 232, 208)       # cream digits
SEPARATOR = (0, 0, 0)
DRUM_EDGE = (34, 34, 40)    # top and bottom rows of the drum
DRUM_MIDDLE = (92, 92, 104)  # its brightest row

# A 5 x 9 face with an open, rounded hand, unlike the built-in segments.
FONT = {
    0: [".###.", "#...#", "#...#", "#..##", "#.#.#", "##..#", "#...#", "#...#", ".###."],
    1: ["..#..", ".##..", "#.#..", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    2: [".###.", "#...#", "....#", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    3: [".###.", "#...#", "....#", "....#", "..##.", "....#", "....#", "#...#", ".###."],
    4: ["...#.", "..##.", ".#.#.", "#..#.", "#..#.", "#####", "...#.", "...#.", "...#."],
    5: ["#####", "#....", "#....", "####.", "....#", "....#", "....#", "#...#", ".###."],
    6: ["..##.", ".#...", "#....", "#....", "####.", "#...#", "#...#", "#...#", ".###."],
    7: ["#####", "....#", "....#", "...#.", "...#.", "..#..", "..#..", "..#..", "..#.."],
    8: [".###.", "#...#", "#...#", "#...#", ".###.", "#...#", "#...#", "#...#", ".###."],
    9: [".###.", "#...#", "#...#", "#...#", ".####", "....#", "....#", "...#.", ".##.."],
}


def drum(y):
    """The drum's colour on row y: linear from the edge to the middle and back."""
    half = (CELL_HEIGHT - 1) / 2
    t = 1 - abs(y - half) / half
    return tuple(round(e + (m - e) * t) for e, m in zip(DRUM_EDGE, DRUM_MIDDLE))


def strip_pixels():
    width = CELL_WIDTH * 10
    rows = []
    for y in range(CELL_HEIGHT):
        row = []
        for x in range(width):
            digit, cx = divmod(x, CELL_WIDTH)
            colour = drum(y)
            if cx == CELL_WIDTH - 1:
                colour = SEPARATOR
            else:
                fx, fy = (cx - GLYPH_LEFT) // SCALE, (y - GLYPH_TOP) // SCALE
                if cx >= GLYPH_LEFT and y >= GLYPH_TOP and fx < 5 and fy < 9 and FONT[digit][fy][fx] == "#":
                    colour = INK
            row.append(colour)
        rows.append(row)
    return width, rows


def bmp_bytes(width, rows):
    height = len(rows)
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    return header + info + bytes(pixels)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "counter.bmp")
    data = bmp_bytes(*strip_pixels())
    if sys.argv[1:] == ["--check"]:
        with open(path, "rb") as f:
            same = f.read() == data
        print(("up to date: " if same else "differs: ") + path)
        return 0 if same else 1
    with open(path, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
