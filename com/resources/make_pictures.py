#!/usr/bin/env python3
"""Draws the control's pictures: the design-time face (bitmap 201), the
toolbox bitmap (bitmap 1) and the About box icon, as small files that the
resource script embeds. Run it from anywhere after changing a picture; the
files it writes are committed, so the build does not need Python.

The motif: two record cards that a magnifying glass compares.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

FACE = (192, 192, 192)     # the classic button face, so the picture sits
                           # in a designer's toolbox like the others
PAPER = (255, 255, 255)
INK = (0, 64, 160)
FRAME = (64, 64, 64)
GLASS = (160, 208, 255)
RIM = (32, 32, 32)
HANDLE = (128, 64, 0)


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, color):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = color

    def rect(self, x0, y0, x1, y1, color):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, color)

    def card(self, x0, y0, x1, y1, lines):
        self.rect(x0, y0, x1, y1, FRAME)
        self.rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, PAPER)
        for i, y in enumerate(lines):
            self.rect(x0 + 2, y, x1 - 2 - (i % 2) * 3, y + 1, INK)

    def disc(self, cx, cy, radius, color):
        for y in range(self.height):
            for x in range(self.width):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius ** 2:
                    self.put(x, y, color)

    def line(self, x0, y0, x1, y1, width, color):
        steps = max(abs(x1 - x0), abs(y1 - y0)) * 4
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            for dy in range(width):
                for dx in range(width):
                    self.put(int(x) + dx, int(y) + dy, color)


def face(size):
    """The picture at 32 x 32 or (for the toolbox) 16 x 16."""
    c = Canvas(size, size, FACE)
    if size == 32:
        c.card(2, 3, 20, 17, [6, 9, 12])
        c.card(9, 12, 27, 26, [15, 18, 21])
        c.disc(21, 20, 7.5, RIM)
        c.disc(21, 20, 5.5, GLASS)
        c.line(26, 25, 30, 29, 3, HANDLE)
    else:
        c.card(1, 1, 10, 8, [3, 5])
        c.card(4, 6, 13, 13, [8, 10])
        c.disc(10.5, 10, 4, RIM)
        c.disc(10.5, 10, 2.8, GLASS)
        c.line(13, 12, 15, 14, 2, HANDLE)
    return c


def bitmap_bytes(canvas, rows=None):
    """24-bit BMP rows, bottom-up, each padded to four bytes."""
    rows = canvas.pixels if rows is None else rows
    stride = (canvas.width * 3 + 3) & ~3
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        out += line + b"\0" * (stride - len(line))
    return bytes(out)


def info_header(width, height, bits, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0,
                       image_size, 2835, 2835, 0, 0)


def write_bmp(name, canvas, height=None):
    height = canvas.height if height is None else height
    pixels = bitmap_bytes(canvas, canvas.pixels[:height])
    header = info_header(canvas.width, height, 24, len(pixels))
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels),
                              0, 0, 14 + len(header))
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(file_header + header + pixels)


def write_ico(name, canvas):
    """One 32-bit image with its (all opaque) AND mask."""
    w, h = canvas.width, canvas.height
    xor = bytearray()
    for row in reversed(canvas.pixels):
        for r, g, b in row:
            xor += bytes((b, g, r, 255))
    mask_stride = ((w + 31) // 32) * 4
    mask = b"\0" * (mask_stride * h)
    image = info_header(w, h * 2, 32, len(xor) + len(mask)) + bytes(xor) + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 6 + 16)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(directory + image)


if __name__ == "__main__":
    write_bmp("face.bmp", face(32))
    # Toolbox bitmaps are 16 x 15.
    write_bmp("toolbox.bmp", face(16), height=15)
    write_ico("vexlor.ico", face(32))
