#!/usr/bin/env python3
"""Draws the program's icon, a sealed envelope with a sprout, and writes it as a Windows
icon file with a 32x32 and a 16x16 image in the 16-colour palette.

    python3 make_icon.py [OUTPUT]      (default: seedwell.ico beside this script)
    python3 make_icon.py --preview PNG (an enlarged picture of both images, to look at)
"""

import os
import struct
import sys
import zlib

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = None  # transparent


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def frame(self, x0, y0, x1, y1, colour):
        self.line(x0, y0, x1, y0, colour)
        self.line(x0, y1, x1, y1, colour)
        self.line(x0, y0, x0, y1, colour)
        self.line(x1, y0, x1, y1, colour)


def draw_32():
    c = Canvas(32)
    # Sprout rising behind the envelope.
    c.line(21, 12, 21, 3, DARK_GREEN)
    c.line(22, 12, 22, 4, GREEN)
    for (x, y) in [(23, 3), (24, 2), (25, 2), (26, 2), (27, 3), (23, 4), (24, 4),
                   (25, 4), (26, 3), (25, 3), (24, 3)]:
        c.put(x, y, GREEN)
    c.line(23, 5, 26, 5, DARK_GREEN)
    c.line(27, 4, 28, 3, DARK_GREEN)
    for (x, y) in [(20, 5), (19, 5), (18, 5), (17, 6), (18, 6), (19, 6), (20, 6), (18, 4),
                   (17, 5), (19, 4)]:
        c.put(x, y, GREEN)
    c.line(17, 7, 20, 7, DARK_GREEN)
    c.line(16, 6, 16, 5, DARK_GREEN)
    # Envelope body with shadow.
    c.fill(4, 12, 30, 28, GRAY)
    c.fill(2, 10, 28, 26, WHITE)
    c.frame(2, 10, 28, 26, BLACK)
    # Lower folds.
    c.line(3, 25, 12, 18, SILVER)
    c.line(27, 25, 18, 18, SILVER)
    # Flap.
    c.line(3, 11, 15, 20, BLACK)
    c.line(27, 11, 15, 20, BLACK)
    for y in range(11, 20):
        for x in range(3, 28):
            left = 3 + (y - 11) * 12 // 9
            right = 27 - (y - 11) * 12 // 9
            if left < x < right and c.pixels[y][x] == WHITE:
                c.put(x, y, SILVER)
    # Seal on the flap.
    c.fill(13, 17, 17, 20, DARK_RED)
    c.fill(14, 16, 16, 21, DARK_RED)
    c.fill(14, 18, 16, 19, RED)
    return c


def draw_16():
    c = Canvas(16)
    # Sprout.
    c.line(11, 6, 11, 1, DARK_GREEN)
    c.fill(12, 1, 13, 2, GREEN)
    c.put(14, 1, DARK_GREEN)
    c.fill(9, 2, 10, 3, GREEN)
    c.put(8, 3, DARK_GREEN)
    # Envelope body with shadow.
    c.fill(2, 6, 15, 14, GRAY)
    c.fill(0, 5, 14, 13, WHITE)
    c.frame(0, 5, 14, 13, BLACK)
    # Flap.
    c.line(1, 6, 7, 10, BLACK)
    c.line(13, 6, 7, 10, BLACK)
    c.line(2, 6, 12, 6, SILVER)
    c.line(4, 7, 10, 7, SILVER)
    c.line(6, 8, 8, 8, SILVER)
    # Seal.
    c.fill(6, 9, 8, 10, DARK_RED)
    c.put(7, 9, RED)
    return c


def bmp_entry(canvas):
    """The image data of one icon entry: header, palette, 4-bit colours, 1-bit mask."""
    size = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        row = canvas.pixels[y]
        colour_row = bytearray(xor_stride)
        mask_row = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = BLACK if colour is CLEAR else colour
            colour_row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        xor += colour_row
        mask += mask_row
    return header + palette + bytes(xor) + bytes(mask)


def ico(canvases):
    images = [bmp_entry(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.size, canvas.size, 16, 0, 1, 4, len(data),
                           offset)
        offset += len(data)
    return out + b"".join(images)


def preview_png(canvases, scale=8):
    width = sum(c.size for c in canvases) * scale + scale * (len(canvases) + 1)
    height = max(c.size for c in canvases) * scale + 2 * scale
    rows = [[(0, 128, 128)] * width for _ in range(height)]
    left = scale
    for c in canvases:
        for y in range(c.size * scale):
            for x in range(c.size * scale):
                colour = c.pixels[y // scale][x // scale]
                if colour is not CLEAR:
                    rows[scale + y][left + x] = PALETTE[colour]
        left += c.size * scale + scale
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2,
                                                                0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main(argv):
    canvases = [draw_32(), draw_16()]
    if len(argv) == 3 and argv[1] == "--preview":
        with open(argv[2], "wb") as f:
            f.write(preview_png(canvases))
        return 0
    if len(argv) > 2:
        print(__doc__, file=sys.stderr)
        return 2
    target = argv[1] if len(argv) == 2 else os.path.join(os.path.dirname(__file__),
                                                         "seedwell.ico")
    with open(target, "wb") as f:
        f.write(ico(canvases))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
