#!/usr/bin/env python3
"""Writes the picture fuzz target's seed inputs: small bitmaps of every depth
and compression the decoder knows, icons with bitmap and PNG entries, and PNG
images of each colour type. Each seed is one selector byte (0 bitmap, 1 icon,
2 PNG) and then the inline picture data of that class, as skins store it.

Usage: make-picture-seeds.py OUTPUT_DIR
"""
import struct
import sys
import zlib
from pathlib import Path


def bmp(width, height, bits, pixels_row, palette=None, compression=0, masks=None, top_down=False,
        header_size=40, data=None):
    """A .bmp file; pixels_row(y) gives the packed bytes of row y (unpadded)."""
    if data is None:
        stride = (width * bits + 31) // 32 * 4
        rows = []
        for y in range(height):
            row = pixels_row(y)
            rows.append(row + b"\0" * (stride - len(row)))
        data = b"".join(rows)
    colours = palette or []
    extra = b""
    if masks and header_size == 40:
        extra = struct.pack("<3I", *masks[:3])
    info = struct.pack("<IiiHHIIiiII", header_size, width, -height if top_down else height, 1, bits,
                       compression, len(data), 2835, 2835, len(colours), 0)
    if header_size > 40:
        m = list(masks or [0, 0, 0, 0]) + [0] * 4
        info += struct.pack("<4I", *m[:4]) + b"\0" * (header_size - 56)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    offset = 14 + len(info) + len(extra) + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return head + info + extra + pal + data


def png(width, height, colour_type, depth, raw_rows, palette=None, trns=None, interlace=0):
    def chunk(tag, body):
        return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type,
                                                                0, 0, interlace))
    if palette:
        out += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if trns is not None:
        out += chunk(b"tRNS", trns)
    out += chunk(b"IDAT", zlib.compress(b"".join(b"\0" + r for r in raw_rows)))
    return out + chunk(b"IEND", b"")


def ico(entries, kind=1):
    """entries: (width, height, bits, image bytes)."""
    head = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    dirs, images = b"", b""
    for (w, h, bits, image) in entries:
        dirs += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, bits, len(image), offset + len(images))
        images += image
    return head + dirs + images


def ico_bitmap(width, height, bits, row, palette=None):
    """An icon entry: a headerless bitmap of twice the height plus its AND mask."""
    stride = (width * bits + 31) // 32 * 4
    mask_stride = (width + 31) // 32 * 4
    xor = b"".join(row(y) + b"\0" * (stride - len(row(y))) for y in range(height))
    mask = b"".join(bytes([0x0F] + [0] * (mask_stride - 1)) for _ in range(height))
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in (palette or []))
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, 0, 0, 0, len(palette or []), 0)
    return info + pal + xor + mask


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    grey = [(i * 17, i * 17, i * 17) for i in range(16)]
    seeds = {
        "bmp1": bmp(9, 3, 1, lambda y: bytes([0xA5 ^ y, 0x80]), palette=[(0, 0, 0), (255, 255, 255)]),
        "bmp4": bmp(5, 4, 4, lambda y: bytes([0x12, 0x34, 0x50 + y]), palette=grey),
        "bmp8": bmp(3, 3, 8, lambda y: bytes([y, y + 1, y + 2]), palette=grey, top_down=True),
        "bmp16": bmp(3, 2, 16, lambda y: struct.pack("<3H", 0x7C00, 0x03E0, 0x001F)),
        "bmp16masks": bmp(2, 2, 16, lambda y: struct.pack("<2H", 0xF800, 0x07E0), compression=3,
                          masks=[0xF800, 0x07E0, 0x001F]),
        "bmp24": bmp(3, 2, 24, lambda y: bytes([0, 0, 255, 0, 255, 0, 255, 0, 0])),
        "bmp32": bmp(2, 2, 32, lambda y: bytes([1, 2, 3, 128, 4, 5, 6, 255])),
        "bmp32v5": bmp(2, 2, 32, lambda y: bytes([1, 2, 3, 128, 4, 5, 6, 255]), compression=3,
                       masks=[0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000], header_size=124),
        "bmprle8": bmp(4, 2, 8, None, palette=grey, compression=1,
                       data=bytes([2, 1, 0, 2, 3, 5, 6, 0, 0, 0, 2, 1, 1, 3, 0, 1])),
        "bmprle4": bmp(4, 2, 4, None, palette=grey, compression=2,
                       data=bytes([4, 0x12, 0, 0, 0, 2, 0, 1, 4, 0x34, 0, 1])),
        "bmpcore": b"BM" + struct.pack("<IHHI", 14 + 12 + 6 + 8, 0, 0, 14 + 12 + 6)
        + struct.pack("<IHHHH", 12, 2, 2, 1, 1) + bytes([0, 0, 0, 255, 255, 255]) + bytes([0x80, 0, 0, 0, 0x40, 0, 0, 0]),
    }
    png_seeds = {
        "pnggrey1": png(5, 2, 0, 1, [b"\xA8", b"\x50"]),
        "pnggrey16": png(2, 2, 0, 16, [b"\x00\x10\xff\xff", b"\x80\x00\x00\x01"]),
        "pngrgb": png(2, 2, 2, 8, [b"\xff\0\0\0\xff\0", b"\0\0\xff\x80\x80\x80"]),
        "pngpalette": png(3, 2, 3, 2, [b"\x1b", b"\xe4"], palette=[(255, 0, 0), (0, 255, 0), (0, 0, 255), (9, 9, 9)],
                          trns=b"\x00\x80"),
        "pnggreyalpha": png(2, 1, 4, 8, [b"\x40\x80\xc0\xff"]),
        "pngrgba": png(2, 2, 6, 8, [b"\xff\0\0\x80\0\xff\0\xff", b"\0\0\xff\0\x10\x20\x30\x40"]),
        "pnginterlaced": png(3, 3, 2, 8, [bytes(range(9)), bytes(range(9, 18)), bytes(range(18, 27))], interlace=1),
    }
    icon_seeds = {
        "ico4": ico([(4, 4, 4, ico_bitmap(4, 4, 4, lambda y: bytes([0x12, 0x34]), palette=grey))]),
        "ico32two": ico([(2, 2, 32, ico_bitmap(2, 2, 32, lambda y: bytes([1, 2, 3, 200, 4, 5, 6, 0]))),
                         (4, 4, 8, ico_bitmap(4, 4, 8, lambda y: bytes([0, 1, 2, 3]), palette=grey))]),
        "icopng": ico([(2, 2, 32, png_seeds["pngrgba"])]),
        "cur1": ico([(8, 2, 1, ico_bitmap(8, 2, 1, lambda y: bytes([0xF0]), palette=[(0, 0, 0), (255, 255, 255)]))],
                    kind=2),
    }
    for name, data in seeds.items():
        # A bitmap's inline data puts its byte count first.
        (out / f"{name}").write_bytes(b"\0" + struct.pack("<I", len(data)) + data)
    for name, data in icon_seeds.items():
        (out / f"{name}").write_bytes(b"\1" + data)
    for name, data in png_seeds.items():
        (out / f"{name}").write_bytes(b"\2" + data)


if __name__ == "__main__":
    main()
