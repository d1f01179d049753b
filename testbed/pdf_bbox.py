#!/usr/bin/env python3
"""Measures a printed page: the bounding box of its non-white pixels.

usage: pdf_bbox.py FILE.pdf [DPI [THRESHOLD]]

Renders the first page with pdftoppm at DPI (300 by default, the PDF queue's own
resolution, so that one rendered pixel is one printer dot) as grey levels and
prints, in millimetres from the page's top-left corner:
    left top width height page_width page_height
A page with no ink prints "empty" and the page size.
"""
import subprocess
import sys


def read_pgm(data):
    # Binary PGM: "P5", width, height, maxval, one byte per pixel.
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b'P5':
        raise ValueError('not a binary PGM')
    width, height, maxval = int(fields[1]), int(fields[2]), int(fields[3])
    if maxval > 255:
        raise ValueError('16-bit PGM not supported')
    pos += 1  # the single white-space byte after maxval
    return width, height, data[pos:pos + width * height]


def ink_box(width, height, pixels, threshold):
    """Returns (left, top, right, bottom) in pixels, exclusive, or None."""
    white = bytes(range(threshold, 256))
    left, right, top, bottom = width, -1, None, None
    for y in range(height):
        row = pixels[y * width:(y + 1) * width]
        stripped_left = row.lstrip(white)
        if not stripped_left:
            continue
        first = width - len(stripped_left)
        last = len(row.rstrip(white)) - 1
        left = min(left, first)
        right = max(right, last)
        if top is None:
            top = y
        bottom = y
    if top is None:
        return None
    return left, top, right + 1, bottom + 1


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    pdf = argv[1]
    dpi = int(argv[2]) if len(argv) > 2 else 300
    threshold = int(argv[3]) if len(argv) > 3 else 128
    pgm = subprocess.run(['pdftoppm', '-q', '-r', str(dpi), '-gray', '-f', '1', '-l', '1', pdf],
                         check=True, stdout=subprocess.PIPE).stdout
    width, height, pixels = read_pgm(pgm)
    mm = 25.4 / dpi
    box = ink_box(width, height, pixels, threshold)
    page = '%.3f %.3f' % (width * mm, height * mm)
    if box is None:
        print('empty ' + page)
        return 0
    left, top, right, bottom = box
    print('%.3f %.3f %.3f %.3f %s' % (left * mm, top * mm, (right - left) * mm,
                                      (bottom - top) * mm, page))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
