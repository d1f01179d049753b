#!/usr/bin/env python3
"""Draws the programs' pictures and writes them as BMP and ICO files.

usage: generate.py OUTDIR

Every picture is drawn here in code, so it can be edited and regenerated; the
build runs this script and the resource scripts include its output:

  kopiwa.ico    icon 128, the copier (32 x 32 and 16 x 16, 16 colours)
  setup.ico     icon 142, the installer (32 x 32 and 16 x 16, 16 colours)
  about.bmp     bitmap 139, the About box picture (48 x 48, 16 colours)
  tile.bmp      bitmap 141, the copy dialog's background tile (48 x 48, 16 colours)
  backdrop.bmp  bitmap 140, the installer's backdrop tile (128 x 128, 16 colours)
  side.bmp      bitmap 146, the wizard pages' side picture (120 x 260, 16 colours)
  title.bmp     bitmap 148, the installer's title (216 x 110, monochrome)
"""
import os
import struct
import sys

# The standard 16-colour palette; the button colours of the dialogs' pictures
# (black, dark grey, light grey, white) are entries 0, 8, 7 and 15, which the
# platform's colour mapping replaces by the current system colours.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)


class Canvas:
    """A picture of palette indexes, row 0 at the top."""

    def __init__(self, width, height, fill=0):
        self.width, self.height = width, height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1):
            self.set(x, y0, c)
            self.set(x, y1 - 1, c)
        for y in range(y0, y1):
            self.set(x0, y, c)
            self.set(x1 - 1, y, c)

    def line(self, x0, y0, x1, y1, c):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.set(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), c)

    def text(self, x, y, s, c, scale=1):
        for ch in s:
            glyph = FONT.get(ch.upper(), FONT[' '])
            for row, bits in enumerate(glyph):
                for col in range(5):
                    if bits & (0x10 >> col):
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, c)
            x += 6 * scale


# A 5 x 7 capital font, enough for the titles.
FONT = {
    ' ': [0] * 7,
    '.': [0, 0, 0, 0, 0, 0x0C, 0x0C],
    '0': [0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E],
    '1': [0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E],
    'A': [0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11],
    'E': [0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F],
    'I': [0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E],
    'K': [0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11],
    'O': [0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E],
    'P': [0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10],
    'S': [0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E],
    'T': [0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04],
    'U': [0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E],
    'V': [0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04],
    'W': [0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A],
}


def pack_rows(canvas, bpp):
    """Bottom-up rows, each padded to 4 bytes."""
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        bits = 0
        nbits = 0
        out = bytearray()
        for x in range(canvas.width):
            bits = (bits << bpp) | canvas.px[y][x]
            nbits += bpp
            if nbits == 8:
                out.append(bits)
                bits = nbits = 0
        if nbits:
            out.append(bits << (8 - nbits))
        while len(out) % 4:
            out.append(0)
        rows.append(bytes(out))
    return b''.join(rows)


def dib(canvas, bpp, palette, height_factor=1):
    header = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height * height_factor, 1, bpp,
                         0, 0, 2835, 2835, len(palette), 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    return header + table + pack_rows(canvas, bpp)


def write_bmp(path, canvas, bpp=4, palette=VGA):
    body = dib(canvas, bpp, palette)
    offset = 14 + 40 + 4 * len(palette)
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', 14 + len(body), 0, 0, offset) + body)


def write_ico(path, images):
    """images: list of (canvas, mask) with mask a Canvas of 0 (opaque) / 1."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for canvas, mask in images:
        blob = dib(canvas, 4, VGA, height_factor=2) + pack_rows(mask, 1)
        entries.append(struct.pack('<BBBBHHII', canvas.width, canvas.height, 16, 0, 1, 4,
                                   len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(images)) + b''.join(entries) + b''.join(blobs))


def opaque(width, height):
    return Canvas(width, height, 0)


def copier_icon(size):
    # A copier seen from the front: lid, glass and a sheet coming out.
    c = Canvas(size, size, 0)
    mask = Canvas(size, size, 1)
    s = size / 32
    def box(x0, y0, x1, y1, col):
        c.rect(int(x0 * s), int(y0 * s), int(x1 * s), int(y1 * s), col)
        mask.rect(int(x0 * s), int(y0 * s), int(x1 * s), int(y1 * s), 0)
    box(2, 12, 30, 28, SILVER)
    c.frame(int(2 * s), int(12 * s), int(30 * s), int(28 * s), BLACK)
    box(3, 8, 29, 12, GREY)
    box(6, 18, 26, 20, BLACK)
    box(9, 2, 23, 12, WHITE)
    c.frame(int(9 * s), int(2 * s), int(23 * s), int(12 * s), BLACK)
    box(11, 5, 21, 6, NAVY)
    box(11, 8, 19, 9, NAVY)
    box(24, 14, 28, 16, LIME)
    return c, mask


def setup_icon(size):
    # A box with a blue band and an arrow going in.
    c = Canvas(size, size, 0)
    mask = Canvas(size, size, 1)
    s = size / 32
    def box(x0, y0, x1, y1, col):
        c.rect(int(x0 * s), int(y0 * s), int(x1 * s), int(y1 * s), col)
        mask.rect(int(x0 * s), int(y0 * s), int(x1 * s), int(y1 * s), 0)
    box(4, 14, 28, 30, OLIVE)
    c.frame(int(4 * s), int(14 * s), int(28 * s), int(30 * s), BLACK)
    box(4, 19, 28, 23, BLUE)
    box(13, 2, 19, 12, RED)
    for i in range(6):
        box(10 + i, 8 + i, 22 - i, 9 + i, RED)
    return c, mask


def about_picture():
    c, _ = copier_icon(32)
    big = Canvas(48, 48, SILVER)
    for y in range(32):
        for x in range(32):
            if _.px[y][x] == 0:
                big.set(8 + x, 8 + y, c.px[y][x])
    return big


def tile():
    # Light grey crossed by an embossed diagonal from lower left to upper right.
    c = Canvas(48, 48, SILVER)
    for i in range(48):
        c.set(i, 47 - i, WHITE)
        c.set(i + 1, 47 - i, GREY)
    return c


def backdrop():
    # Deep teal with a faint diamond lattice.
    c = Canvas(128, 128, TEAL)
    for i in range(128):
        c.set(i, i, NAVY)
        c.set(i, 127 - i, NAVY)
        c.set((i + 64) % 128, i, NAVY)
        c.set((191 - i) % 128, i, NAVY)
    return c


def side_picture():
    c = Canvas(120, 260, NAVY)
    for y in range(260):
        band = y * 4 // 260
        for x in range(120):
            if (x + y) % (8 - band) == 0:
                c.set(x, y, BLUE)
    cx, cy = 60, 140
    ic, mask = copier_icon(32)
    for y in range(32):
        for x in range(32):
            if mask.px[y][x] == 0:
                c.rect(cx - 48 + x * 3, cy - 48 + y * 3, cx - 45 + x * 3, cy - 45 + y * 3, ic.px[y][x])
    return c


def title_picture():
    # Monochrome: index 0 dark (drawn as white lettering with a shadow), 1 light.
    c = Canvas(216, 110, 1)
    c.text(12, 14, 'KOPIWA', 0, scale=5)
    c.text(150, 58, '1.11', 0, scale=2)
    c.text(12, 72, 'SETUP', 0, scale=4)
    return c


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, 'kopiwa.ico'), [copier_icon(32), copier_icon(16)])
    write_ico(os.path.join(out, 'setup.ico'), [setup_icon(32), setup_icon(16)])
    write_bmp(os.path.join(out, 'about.bmp'), about_picture())
    write_bmp(os.path.join(out, 'tile.bmp'), tile())
    write_bmp(os.path.join(out, 'backdrop.bmp'), backdrop())
    write_bmp(os.path.join(out, 'side.bmp'), side_picture())
    write_bmp(os.path.join(out, 'title.bmp'), title_picture(), bpp=1,
              palette=[(0, 0, 0), (255, 255, 255)])
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
