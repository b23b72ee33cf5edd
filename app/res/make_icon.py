#!/usr/bin/env python3
"""Draws Kelvaron's icon: a white K on a blue card. Writes kelvaron.ico with the three
images the Windows program file carries (32x32 in 2 and in 16 colours, 16x16 in 16), or
with --png SIZE a PNG of the same picture for the desktop's icon theme
(kelvaron-128.png: make_icon.py --png 128 kelvaron-128.png)."""
import struct
import sys
import zlib

# The 16-colour VGA palette, as the shell expects it; index 0 black, 4 dark blue... in BGRA.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLUE, WHITE, BLACK = 4, 15, 0


def picture(size):
    """Rows of palette indices (None: transparent), top row first."""
    rows = []
    m = size // 16  # one design pixel
    for y in range(size):
        row = []
        for x in range(size):
            inside = m <= x < size - m and m <= y < size - m
            if not inside:
                row.append(None)
                continue
            u, v = (x - 4 * m) / m, (y - 3 * m) / m  # K drawn in a 8x10 design box
            stem = 0 <= u < 2 and 0 <= v < 10
            arm = 0 <= v < 10 and 2 <= u < 8 and abs((u - 2) - abs(5 - v)) < 1.2
            row.append(WHITE if stem or arm else BLUE)
        rows.append(row)
    return rows


def image(size, bpp):
    rows = picture(size)
    colours = 1 << bpp
    palette = [(0, 0, 0), (255, 255, 255)] if bpp == 1 else VGA
    def index(c):
        if c is None:
            return 0
        if bpp == 1:
            return 0 if c == BLUE else 1  # black card, white K
        return c
    def packed(bits_per_px, values):
        out, acc, n = bytearray(), 0, 0
        for v in values:
            acc = (acc << bits_per_px) | v
            n += bits_per_px
            if n == 8:
                out.append(acc)
                acc, n = 0, 0
        if n:
            out.append(acc << (8 - n))
        while len(out) % 4:
            out.append(0)
        return bytes(out)
    xor = b"".join(packed(bpp, [index(c) for c in row]) for row in reversed(rows))
    mask = b"".join(packed(1, [1 if c is None else 0 for c in row]) for row in reversed(rows))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette[:colours])
    return header + pal + xor + mask, colours


def png(size, path):
    """An indexed PNG, transparent outside the card, with nothing in it that changes from one
    run to the next (no time stamp), so a rebuilt icon is the same file."""
    rows = picture(size)
    palette = [None, BLUE, WHITE]
    raw = b"".join(b"\0" + bytes(palette.index(c) for c in row) for row in rows)
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    rgb = b"".join(bytes(VGA[c if c is not None else BLACK]) for c in palette)
    out = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 3, 0, 0, 0)) +
           chunk(b"PLTE", rgb) + chunk(b"tRNS", b"\0") +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(out)


def main(path):
    images = [image(32, 1), image(32, 4), image(16, 4)]
    sizes = [32, 32, 16]
    bpps = [1, 4, 4]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (data, colours), size, bpp in zip(images, sizes, bpps):
        out += struct.pack("<BBBBHHII", size, size, colours if colours < 256 else 0, 0, 1, bpp,
                           len(data), offset)
        offset += len(data)
    out += b"".join(data for data, _ in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--png":
        png(int(sys.argv[2]), sys.argv[3])
    else:
        main(sys.argv[1] if len(sys.argv) > 1 else "kelvaron.ico")
