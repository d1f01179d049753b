#!/usr/bin/env python3
"""Measures a printed page: the bounding box of its non-white pixels.

usage: pdf_bbox.py FILE.pdf [DPI [THRESHOLD [LEFT TOP RIGHT BOTTOM]]]

Renders the first page with pdftoppm at DPI (300 by default, the PDF queue's own
resolution, so that one rendered pixel is one printer dot) as grey levels and
prints, in millimetres from the page's top-left corner:
    left top width height page_width page_height
A page with no ink prints "empty" and the page size. LEFT TOP RIGHT BOTTOM, in
millimetres from the page's top-left corner, look for ink only inside that
window (to measure one mark of a printed picture); the box is still given from
the page's corner.
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


def ink_box(width, height, pixels, threshold, window=None):
    """Returns (left, top, right, bottom) in pixels, exclusive, or None.
    `window` (left, top, right, bottom) in pixels limits the search."""
    white = bytes(range(threshold, 256))
    x0, y0, x1, y1 = window if window else (0, 0, width, height)
    x0, y0 = max(0, x0), max(0, y0)
    x1, y1 = min(width, x1), min(height, y1)
    left, right, top, bottom = width, -1, None, None
    for y in range(y0, y1):
        row = pixels[y * width + x0:y * width + max(x0, x1)]
        stripped_left = row.lstrip(white)
        if not stripped_left:
            continue
        first = x0 + len(row) - len(stripped_left)
        last = x0 + len(row.rstrip(white)) - 1
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
    window_mm = [float(v) for v in argv[4:8]] if len(argv) >= 8 else None
    pgm = subprocess.run(['pdftoppm', '-q', '-r', str(dpi), '-gray', '-f', '1', '-l', '1', pdf],
                         check=True, stdout=subprocess.PIPE).stdout
    width, height, pixels = read_pgm(pgm)
    mm = 25.4 / dpi
    window = [int(round(v / mm)) for v in window_mm] if window_mm else None
    box = ink_box(width, height, pixels, threshold, window)
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
