#!/usr/bin/env python3
"""Draws the program's pictures: the banner bitmap (ui/banner.bmp) and the spiral icon (ui/program.ico).

Standard library only. Run from anywhere: python3 tools/make_images.py [--png DIR]
(--png also writes PNG copies for viewing).
"""
import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

BANNER_W, BANNER_H = 390, 115
ICON_SIZE = 32

# 5 x 7 capital letters and digits, one string of five bits per row.
GLYPHS = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'C': ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'G': ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    'H': ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'U': ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'Y': ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    '1': ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    '0': ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    '.': ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    ' ': ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]  # top row first

    def blend(self, x, y, colour, alpha=1.0):
        if 0 <= x < self.width and 0 <= y < self.height and alpha > 0:
            old = self.pixels[y][x]
            a = min(alpha, 1.0)
            self.pixels[y][x] = tuple(round(o + (c - o) * a) for o, c in zip(old, colour))

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(y0, 0), min(y1, self.height)):
            for x in range(max(x0, 0), min(x1, self.width)):
                self.pixels[y][x] = colour

    def disc(self, cx, cy, r, colour):
        """Anti-aliased filled circle."""
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                self.blend(x, y, colour, r + 0.5 - d)

    def text(self, x, y, string, scale, colour, spacing=1):
        for ch in string:
            glyph = GLYPHS[ch]
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == '1':
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += (5 + spacing) * scale

    @staticmethod
    def text_width(string, scale, spacing=1):
        return len(string) * (5 + spacing) * scale - spacing * scale


def lerp(a, b, t):
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


def read_transect():
    """The bundled example's values, so the banner shows a real transect."""
    with open(os.path.join(ROOT, "examples", "transect.txt")) as f:
        fields = f.read().split()
    count = int(fields[0])
    return [float(v) for v in fields[1:1 + count]]


def draw_banner():
    sky_top, sky_bottom = (222, 238, 226), (248, 252, 246)
    c = Canvas(BANNER_W, BANNER_H, sky_bottom)
    for y in range(BANNER_H):
        for x in range(BANNER_W):
            c.pixels[y][x] = lerp(sky_top, sky_bottom, y / (BANNER_H - 1))
    dark_green = (24, 92, 48)
    mid_green = (46, 139, 87)
    soil = (120, 90, 60)

    # Title and subtitle, left.
    c.text(14, 12, "VELTRASS", 4, dark_green)
    c.text(14, 46, "PATCHINESS ALONG", 2, mid_green)
    c.text(14, 64, "A TRANSECT", 2, mid_green)

    # The transect: a ground line with one bar per station, height by value, and a mean line.
    values = read_transect()[:40]
    left, right, ground = 196, 380, 98
    top = 14
    step = (right - left) / (len(values) - 1)
    highest = max(values)
    mean = sum(values) / len(values)
    for i, v in enumerate(values):
        x = left + i * step
        h = (ground - top) * v / highest
        shade = lerp((150, 205, 160), dark_green, v / highest)
        c.rect(round(x - 1.5), round(ground - h), round(x + 1.5), ground, shade)
    mean_y = round(ground - (ground - top) * mean / highest)
    for x in range(left - 4, right + 5):
        if (x // 4) % 2 == 0:
            c.blend(x, mean_y, (200, 80, 40), 0.9)
    c.rect(left - 6, ground, right + 7, ground + 2, soil)
    for i in range(len(values)):  # the station stakes
        c.rect(round(left + i * step), ground + 2, round(left + i * step) + 1, ground + 7, soil)

    return c


def draw_icon():
    c = Canvas(ICON_SIZE, ICON_SIZE, (255, 255, 255))
    green = (20, 140, 50)
    cx = cy = ICON_SIZE / 2
    turns, r_end, width = 3.0, 14.5, 2.6
    # Archimedean spiral r = k * theta, sampled finely; each pixel takes its coverage from the
    # nearest sample.
    samples = []
    theta_end = turns * 2 * math.pi
    k = r_end / theta_end
    n = 4000
    for i in range(n + 1):
        t = theta_end * i / n
        samples.append((cx + k * t * math.cos(t), cy - k * t * math.sin(t)))
    for y in range(ICON_SIZE):
        for x in range(ICON_SIZE):
            px, py = x + 0.5, y + 0.5
            d = min(math.hypot(px - sx, py - sy) for sx, sy in samples)
            c.blend(x, y, green, width / 2 + 0.5 - d)
    return c


def bgr_rows_bottom_up(canvas):
    """24-bit rows, bottom row first, each padded to a multiple of four bytes."""
    pad = (-canvas.width * 3) % 4
    out = bytearray()
    for row in reversed(canvas.pixels):
        for r, g, b in row:
            out += bytes((b, g, r))
        out += b"\0" * pad
    return bytes(out)


def info_header(width, height):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, 0, 2835, 2835, 0, 0)


def write_bmp(path, canvas):
    data = bgr_rows_bottom_up(canvas)
    header = info_header(canvas.width, canvas.height)  # positive height: rows stored bottom-up
    offset = 14 + len(header)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset))
        f.write(header + data)


def write_ico(path, canvas):
    colour = bgr_rows_bottom_up(canvas)
    mask_row = ((canvas.width + 31) // 32) * 4
    mask = b"\0" * (mask_row * canvas.height)  # every pixel opaque
    image = info_header(canvas.width, canvas.height * 2) + colour + mask
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", canvas.width, canvas.height, 0, 0, 1, 24, len(image), 6 + 16))
        f.write(image)


def write_png(path, canvas):
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in canvas.pixels)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    banner, icon = draw_banner(), draw_icon()
    write_bmp(os.path.join(ROOT, "ui", "banner.bmp"), banner)
    write_ico(os.path.join(ROOT, "ui", "program.ico"), icon)
    if len(sys.argv) == 3 and sys.argv[1] == "--png":
        write_png(os.path.join(sys.argv[2], "banner.png"), banner)
        write_png(os.path.join(sys.argv[2], "program.png"), icon)


if __name__ == "__main__":
    main()
