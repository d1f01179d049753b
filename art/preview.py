#!/usr/bin/env python3
"""Shows the pictures as the programs put them on screen, for checking by eye.

usage: preview.py OUTDIR

  installer.bmp  the installer's 1024 x 768 screen: the backdrop tiled from the
                 top-left corner and the title blitted as the installer does
                 (first as a mask at (14, 9), then inverted at (10, 5))
  dialog.bmp     the copy dialog's face (300 x 180): the tile repeated from the
                 top-left corner and the About picture on it
"""
import os
import sys

import generate


def tiled(tile, width, height):
    screen = generate.Canvas(width, height)
    for y in range(height):
        row = tile.px[y % tile.height]
        screen.px[y] = [row[x % tile.width] for x in range(width)]
    return screen


def blit_title(screen, title):
    """SRCAND at (14, 9), then MERGEPAINT at (10, 5), with the screen's
    default text and background colours: black ink, white paper."""
    ink = 0
    for dx, dy, colour in ((14, 9, generate.BLACK), (10, 5, generate.WHITE)):
        for y in range(title.height):
            for x in range(title.width):
                if title.px[y][x] == ink:
                    screen.set(x + dx, y + dy, colour)


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    screen = tiled(generate.backdrop(), 1024, 768)
    blit_title(screen, generate.title_picture())
    generate.write_bmp(os.path.join(out, 'installer.bmp'), screen)
    face = tiled(generate.tile(), 300, 180)
    face.paste(generate.about_picture(), 20, 20)
    generate.write_bmp(os.path.join(out, 'dialog.bmp'), face)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
