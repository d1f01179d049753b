#!/usr/bin/env python3
"""Draws the programs' pictures and writes them as BMP and ICO files.

usage: generate.py OUTDIR

Every picture is drawn here, so it can be edited and regenerated; the build
runs this script and the resource scripts include its output:

  kopiwa.ico    icon 128, the copier (48, 32 and 16 pixels square, 16 colours)
  setup.ico     icon 142, the installer (48, 32 and 16 pixels square, 16 colours)
  about.bmp     bitmap 139, the About box picture (48 x 48, 16 colours)
  tile.bmp      bitmap 141, the copy dialog's background tile (48 x 48, 16 colours)
  backdrop.bmp  bitmap 140, the installer's backdrop tile (128 x 128, 16 colours)
  side.bmp      bitmap 146, the wizard pages' side picture (120 x 260, 16 colours)
  title.bmp     bitmap 148, the installer's title (216 x 110, monochrome)

The icons are pixel maps written out below, one character a pixel (see
LEGEND); the other pictures are drawn by code. Only the standard library is
used, so the build needs nothing but Python 3.
"""
import math
import os
import struct
import sys

# The standard 16-colour palette, in its usual order. Black, dark grey, light
# grey and white (entries 0, 8, 7 and 15) are the colours that the programs map
# to the system's button colours when they load the dialog pictures, so those
# pictures use exactly these four wherever they must blend with a dialog.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
MONO = [(0, 0, 0), (255, 255, 255)]

# One character per palette entry in the pixel maps: lower case for the dark
# half of the palette, upper case for the bright half, '.' for transparent.
LEGEND = {
    '#': BLACK, 'r': MAROON, 'g': GREEN, 'y': OLIVE, 'b': NAVY, 'm': PURPLE,
    'c': TEAL, 'L': SILVER, 'D': GREY, 'R': RED, 'G': LIME, 'Y': YELLOW,
    'B': BLUE, 'M': FUCHSIA, 'C': AQUA, 'W': WHITE,
}
TRANSPARENT = '.'


class Canvas:
    """A picture of palette indexes, row 0 at the top."""

    def __init__(self, width, height, fill=0):
        self.width, self.height = width, height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Fills x0 <= x < x1, y0 <= y < y1."""
        for y in range(max(y0, 0), min(y1, self.height)):
            for x in range(max(x0, 0), min(x1, self.width)):
                self.px[y][x] = c

    def line(self, x0, y0, x1, y1, c):
        """Bresenham's line, both ends included."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def fill(self, inside, c, x0=0, y0=0, x1=None, y1=None):
        """Sets every pixel whose centre satisfies inside(x, y)."""
        x1 = self.width if x1 is None else x1
        y1 = self.height if y1 is None else y1
        for y in range(max(y0, 0), min(y1, self.height)):
            for x in range(max(x0, 0), min(x1, self.width)):
                if inside(x + 0.5, y + 0.5):
                    self.px[y][x] = c

    def paste(self, pic, x0, y0, mask=None, scale=1):
        """Copies pic with its top-left at (x0, y0); mask pixels of 1 stay out."""
        for y in range(pic.height):
            for x in range(pic.width):
                if mask is None or not mask.px[y][x]:
                    self.rect(x0 + x * scale, y0 + y * scale,
                              x0 + (x + 1) * scale, y0 + (y + 1) * scale, pic.px[y][x])


def pixmap(text):
    """A picture and its transparency mask (1 = transparent) from LEGEND text."""
    rows = [r.strip() for r in text.strip().splitlines()]
    width = len(rows[0])
    if any(len(r) != width for r in rows):
        raise ValueError('pixel map rows differ in length')
    pic, mask = Canvas(width, len(rows)), Canvas(width, len(rows))
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == TRANSPARENT:
                mask.px[y][x] = 1
            else:
                pic.px[y][x] = LEGEND[ch]
    return pic, mask


# ---------------------------------------------------------------------------
# Shading: ordered dithering mixes two palette colours in any proportion with
# a pattern that repeats every 4 pixels, so dithered tiles still meet cleanly.

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def dither(level, x, y):
    """True for the fraction `level` (0..1) of pixels, spread evenly."""
    return (BAYER4[y % 4][x % 4] + 0.5) / 16 < level


# ---------------------------------------------------------------------------
# Shapes: a shape is a function that answers whether a point lies inside it.
# Canvas.fill draws one by testing each pixel's centre, which gives clean
# edges at any size and angle.

def box_shape(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def ellipse_shape(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def ring_shape(cx, cy, rx, ry, thick, thick_y=None):
    outer = ellipse_shape(cx, cy, rx, ry)
    inner = ellipse_shape(cx, cy, rx - thick, ry - (thick if thick_y is None else thick_y))
    return lambda x, y: outer(x, y) and not inner(x, y)


def polygon_shape(points):
    def inside(x, y):
        hit = False
        for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
            if (y0 <= y) != (y1 <= y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                hit = not hit
        return hit
    return inside


def stroke_shape(top0, top1, bottom0, bottom1, y0=0.0, y1=1.0):
    """A slanted stem: its top spans top0..top1, its bottom bottom0..bottom1."""
    return polygon_shape([(top0, y0), (top1, y0), (bottom1, y1), (bottom0, y1)])


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def clip(shape, where):
    return lambda x, y: where(x, y) and shape(x, y)


# ---------------------------------------------------------------------------
# The icons. Each size is drawn on its own pixel grid rather than scaled, so
# the small images stay crisp. Light falls from the upper left: the tops are
# lightest, the fronts lighter than the right-hand sides, and everything is
# outlined in black as the system's own icons are.

# The copier in three-quarter view: the document cover on top, the control
# panel with its display and start button beside it, the blue band and two
# paper drawers in front, and a finished copy lying in the output tray.
COPIER_48 = """
    ................................................
    ................................................
    ................................................
    ................................................
    ................................................
    ................................................
    .................###################............
    ................#WWWWWWWWWWWWWWWWWW############.
    ...............#WLLLLLLLLLLLLLLLL#D#WW#####WW##.
    ..............#WLLLLLLLLLLLLLLLL#DD##cCCCC#W#D#.
    .............#WLLLLLLLLLLLLLLLL#DD##cCCCc#W#DD#.
    ............#WLLLLLLLLLLLLLLLL#DD##ccccc#W#DDD#.
    ...........###################DD#W#####WW#DDDD#.
    ...........#DDDDDDDDDDDDDDDDD#D#WWWWWWWWDDDDDD#.
    ...........#DDDDDDDDDDDDDDDDD##WWGGWWRW#DDDDDD#.
    ..........####################WWggWWrW#DDDDDDD#.
    .........#############################DDDDDDDD#.
    .........#WWWWWWWWWWWWWWWWWWWWWWWWWWD#DDDDDDDD#.
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DDDDDDDD#.
    ......####WLLLLLLLLLLLLLLLLLLLLLLLLLD#DDDDDDDD#.
    .....#WWW#WBBBBBBBBBBBBBBBBBBBBBBBBBD#DDDDDDDD#.
    ....#WWbb#WbbbbbbbbbbbbbbbbbbbbbbbbbD#DDDDDDDD#.
    ...#WWWWW#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DDDDDDDD#.
    ..#WbbWbb#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DDDDDD#D#.
    .#WWWWWWW#WDDDDDDDDDDDDDDDDDDDDDDDDDD#DDDDDD#D#.
    ##########WWWWWWWWWWWWWWWWWWWWWWWWWWD#DDDD#D#D#.
    #DDDDDDDD#WLLLLLLL###########LLLLLLLD#DDDD#D#D#.
    ##########WLLLLLLLLDDDDDDDDDLLLLLLLLD#DD#D#D#D#.
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DD#D#DDD#.
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DD#D#DDD#.
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DD#DDDDD#.
    .........#WDDDDDDDDDDDDDDDDDDDDDDDDDD#DD#DDDD#..
    .........#WWWWWWWWWWWWWWWWWWWWWWWWWWD#DDDDDD#...
    .........#WLLLLLLL###########LLLLLLLD#DDDDD#....
    .........#WLLLLLLLLDDDDDDDDDLLLLLLLLD#DDDD#.....
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DDD#......
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD#DD#.......
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD#D#........
    .........#WLLLLLLLLLLLLLLLLLLLLLLLLLD##.........
    .........#############################..........
    .........#############################..........
    ...........###...................###............
    ................................................
    ................................................
    ................................................
    ................................................
    ................................................
    ................................................
"""

COPIER_32 = """
    ................................
    ................................
    ................................
    ................................
    ................................
    ................................
    ................................
    ...........##############.......
    ..........#WWWWWWWWWWWL#########
    .........#WLLLLLLLLLLL#D#WWCC###
    ........#WLLLLLLLLLLL#D#WWCC##D#
    .......##############D#GGWWW#DD#
    .......#WDDDDDDDDDDD##ggWRW#DDD#
    .......##############WWWWW#DDDD#
    ......####################DDDDD#
    ......#WWWWWWWWWWWWWWWWWW#DDDDD#
    ......#WLLLLLLLLLLLLLLLLD#DDDDD#
    .....##BBBBBBBBBBBBBBBBBB#DDDDD#
    ....#W#WLLLLLLLLLLLLLLLLD#DDDDD#
    ...#Wb#WLLLLLLLLLLLLLLLLD#DDDDD#
    ..#WbW#DDDDDDDDDDDDDDDDDD#DDDDD#
    .#WWWW#WWWWW########WWWWD#DDDDD#
    #WbbbW#WLLLL#DDDDDD#LLLLD#DDDDD#
    #######WLLLLLLLLLLLLLLLLD#DDDDD#
    #DDDDD#WLLLLLLLLLLLLLLLLD#DDDDD#
    #######DDDDDDDDDDDDDDDDDD#DDDD#.
    ......#WWWWW########WWWWD#DDD#..
    ......#WLLLL#DDDDDD#LLLLD#DD#...
    ......#WLLLLLLLLLLLLLLLLD#D#....
    ......#WLLLLLLLLLLLLLLLLD##.....
    ......####################......
    .......##..............##.......
"""

COPIER_16 = """
    ................
    ................
    ......##########
    .....#WWWW#WCW##
    ....#LLLL#GWW#D#
    ...##########DD#
    ...#WWWWWWWW#DD#
    ..##BBBBBBBB#DD#
    .#W#LLLLLLLL#DD#
    #Wb#DDDDDDDD#DD#
    ####WL####LD#DD#
    #DD#LLLLLLLD#DD#
    ####DDDDDDDD#DD#
    ...#WL####LD#D#.
    ...#LLLLLLLD##..
    ...##########...
"""

# The installer: the product's box with two sheets (an original and its copy)
# on its front, and the floppy disk that carries it.
SETUP_48 = """
    ................................................
    ................................................
    ................................................
    .....................#########################..
    ....................#CCCCCCCCCCCCCCCCCCCCCCC##..
    ...................#CCCCCCCCCCCCCCCCCCCCCCC#b#..
    ..................#CCCCCCCCCCCCCCCCCCCCCCC#bb#..
    .................#CCCCCCCCCCCCCCCCCCCCCCC#bbb#..
    ................#CCCCCCCCCCCCCCCCCCCCCCC#bbbb#..
    ...............#CCCCCCCCCCCCCCCCCCCCCCC#bbbbb#..
    ..............#########################bbbbbb#..
    ..............#CCCCCCCCCCCCCCCCCCCCCCC#bbbbbb#..
    ..............#CBBBBBBBBBBBBBBBBBBBBBB#bbbbbb#..
    ..............#CBB############BBBBBBBB#bbbbbb#..
    ..............#CBB#WWWWWWWWWW#BBBBBBBB#bbbbbb#..
    ..............#CBB#WWWWWWWWWW#BBBBBBBB#bbbbbb#..
    ..............#CBB#WDDDDD############B#bbbbbb#..
    ..............#CBB#WWWWWW#WWWWWWWWWW#B#bbbbbb#..
    ..............#CBB#WWWWWW#WWWWWWWWWW#B#bbbbbb#..
    ..............#CBB#WDDDDD#WDDDDDDDWW#B#bbbbbb#..
    ..............#CBB#WWWWWW#WWWWWWWWWW#B#bbbbbb#..
    ..............#CBB#WWWWWW#WWWWWWWWWW#B#bbbbbb#..
    ..............#CBB#WDDDDD#WDDDDDWWWW#B#bbbbbb#..
    ..............#CBB#WWWWWW#WWWWWWWWWW#B#bbbbbb#..
    ..#######################BWWWWWWWWWW#B#bbbbbb#..
    ..#BbbbbWLLLLLLLLLLDbbbbb#WDDDDDDDWW#B#bbbbbb#..
    ..#BbbbbWLLLLLLbbbLDbbbbb#WWWWWWWWWW#B#bbbbbb#..
    ..#BbbbbWLLLLLLbbbLDbbbbb#WWWWWWWWWW#B#bbbbbby..
    ..#BbbbbWLLLLLLbbbLDbbbbb#WDDDDWWWWW#B#bbbbbyy..
    ..#BbbbbWLLLLLLbbbLDbbbbb#WWWWWWWWWW#B#bbbbyyy..
    ..#BbbbbWLLLLLLbbbLDbbbbb############B#bbbyyyy..
    ..#BbbbbWLLLLLLLLLLDbbbbb#BBBBBBBBBBBB#bbyyyy#..
    ..#BbbbbDDDDDDDDDDDDbbbbb#BBBBBBBBBBBB#byyyyb#..
    ..#Bbbbbbbbbbbbbbbbbbbbbb#BBBBBBBBBBBB#yyyybb#..
    ..#Bbbbbbbbbbbbbbbbbbbbbb#YYYYYYYYYYYY#yyybbb#..
    ..#BbbWWWWWWWWWWWWWWWWbbb#YYYYYYYYYYYY#yybbbb#..
    ..#BbbWWWWWWWWWWWWWWWWbbb#YYYYYYYYYYYY#ybbbb#...
    ..#BbbWWWWWWWWWWWWWWWWbbb#yyyyyyyyyyyy#bbbb#....
    ..#BbbWWbbbbbbbbbbbbWWbbb#BBBBBBBBBBBB#bbb#.....
    ..#BbbWWWWWWWWWWWWWWWWbbb#BBBBBBBBBBBB#bb#......
    ..#BbbWWWWWWWWWWWWWWWWbbb#BBBBBBBBBBBB#b#.......
    ..#BbbWWbbbbbbbbbWWWWWbbb#BBBBBBBBBBBB##........
    ..#BbbWWWWWWWWWWWWWWWWbbb##############.........
    ..#BbbWWWWWWWWWWWWWWWWbbb#......................
    ..#BbbWWbbbbbbbbbbbWWWbbb#......................
    ..#BbbWWWWWWWWWWWWWWWWbbb#......................
    ..#BbbWWWWWWWWWWWWWWWWbbb#......................
    ..########################......................
"""

SETUP_32 = """
    ................................
    ..............#################.
    .............#CCCCCCCCCCCCCCC##.
    ............#CCCCCCCCCCCCCCC#b#.
    ...........#CCCCCCCCCCCCCCC#bb#.
    ..........#CCCCCCCCCCCCCCC#bbb#.
    .........#################bbbb#.
    .........#CCCCCCCCCCCCCCC#bbbb#.
    .........#C########BBBBBB#bbbb#.
    .........#C#WWWWWW#BBBBBB#bbbb#.
    .........#C#WDDD########B#bbbb#.
    .........#C#WWWW#WWWWWW#B#bbbb#.
    .........#C#WDDD#WDDDDW#B#bbbb#.
    .........#C#WWWW#WWWWWW#B#bbbb#.
    .........#C#WDDD#WDDDWW#B#bbbby.
    .........#C#WWWW#WWWWWW#B#bbbyy.
    ..###############BDDDDW#B#bbyyy.
    ..#BbbLLLLLLLLbbb#WWWWW#B#byyy#.
    ..#BbbLLLLbbLLbbb#######B#yyyb#.
    ..#BbbLLLLbbLLbbb#YYYYYYY#yybb#.
    ..#BbbLLLLbbLLbbb#YYYYYYY#ybbb#.
    ..#BbbLLLLLLLLbbb#yyyyyyy#bbbb#.
    ..#Bbbbbbbbbbbbbb#BBBBBBB#bbbb#.
    ..#Bbbbbbbbbbbbbb#BBBBBBB#bbbb#.
    ..#BbWWWWWWWWWWbb#BBBBBBB#bbb#..
    ..#BbWWWWWWWWWWbb#BBBBBBB#bb#...
    ..#BbWbbbbbbbbWbb#BBBBBBB#b#....
    ..#BbWWWWWWWWWWbb#BBBBBBB##.....
    ..#BbWbbbbbbWWWbb#########......
    ..#BbWWWWWWWWWWbb#..............
    ..#BbWWWWWWWWWWbb#..............
    ..################..............
"""

SETUP_16 = """
    ................
    ........########
    .......#CCCCCC##
    ......#CCCCCC#b#
    .....########bb#
    .....#CBBBBBB#b#
    .....#CBWWWBB#b#
    ########WWWBB#b#
    #BbLLLb##BBBB#y#
    #BbLbLbb#YYYY#y#
    #BbLLLbb#YYYY#b#
    #Bbbbbbb#yyyy#b#
    #BWWWWWb#BBBB##.
    #BWDDDWb#BBBB#..
    #BWWWWWb######..
    #########.......
"""


def copier_icon_images():
    return [pixmap(COPIER_48), pixmap(COPIER_32), pixmap(COPIER_16)]


def setup_icon_images():
    return [pixmap(SETUP_48), pixmap(SETUP_32), pixmap(SETUP_16)]


def about_picture():
    """The big copier icon on the button face, with a drop shadow in the
    button shadow colour: both follow the system colours, so the picture
    sits on the About box without a visible edge."""
    pic, mask = pixmap(COPIER_48)
    canvas = Canvas(48, 48, SILVER)
    for y in range(48):
        for x in range(48):
            if not mask.px[y][x] and x + 2 < 48 and y + 2 < 48:
                canvas.set(x + 2, y + 2, GREY)
    canvas.paste(pic, 0, 0, mask)
    return canvas


# ---------------------------------------------------------------------------
# The copy dialog's background tile: light grey crossed by a raised diagonal
# from the lower left to the upper right. The white edge lies on the pixels
# where x + y = size - 1 and the dark grey one just below and right of it;
# both are taken modulo the size, so the line runs on unbroken from each tile
# into the next one up and to the right. Only the four button colours occur,
# so the whole tile follows the system colours.

TILE_SIZE = 48


def tile():
    c = Canvas(TILE_SIZE, TILE_SIZE, SILVER)
    for y in range(TILE_SIZE):
        for x in range(TILE_SIZE):
            d = (x + y) % TILE_SIZE
            if d == TILE_SIZE - 1:
                c.px[y][x] = WHITE
            elif d == 0:
                c.px[y][x] = GREY
    return c


# ---------------------------------------------------------------------------
# The installer's backdrop tile: deep blue quilting, diamonds 64 pixels
# across, each padded (lighter at the top, darker at the bottom, by ordered
# dithering) and stitched along its edges with a dotted blue seam over a black
# crease. The seams run along x + y and x - y in steps that divide the tile,
# so tiles meet without a break, and the quilt stays dark enough for the
# white title with its black shadow to read anywhere on it.

BACKDROP_SIZE = 128
QUILT = 64


def backdrop():
    n = BACKDROP_SIZE
    c = Canvas(n, n, NAVY)
    for y in range(n):
        for x in range(n):
            down = (x + y) % QUILT          # grows towards the lower right
            up = (x - y) % QUILT            # grows towards the upper right
            if down == 0 or up == 0:
                c.px[y][x] = BLUE if (x + y) % 2 == 0 else NAVY
            elif down == 1 or up == QUILT - 1:
                c.px[y][x] = BLACK
            else:
                light = 0.5 * (up - down) / (QUILT - 1)
                if light > 0:
                    c.px[y][x] = BLUE if dither(light * 0.4, x, y) else NAVY
                else:
                    c.px[y][x] = BLACK if dither(-light * 0.8, x, y) else NAVY
    return c


# ---------------------------------------------------------------------------
# The wizard pages' side picture: the copier, drawn twice the size of its big
# icon, on a blue ground that turns to teal towards the floor, with its copies
# flying up out of the output tray.

SIDE_SIZE = (120, 260)


def sheet(canvas, cx, cy, width, height, angle):
    """A sheet of paper with four lines of print, turned by angle degrees."""
    a = math.radians(angle)
    ux, uy = math.cos(a), math.sin(a)        # along the lines of print
    vx, vy = -math.sin(a), math.cos(a)       # down the page

    def point(u, v):
        return (cx + u * ux + v * vx, cy + u * uy + v * vy)
    hw, hh = width / 2, height / 2
    paper = polygon_shape([point(-hw, -hh), point(hw, -hh), point(hw, hh), point(-hw, hh)])
    canvas.fill(paper, WHITE)
    # The edge: every pixel of the sheet with a neighbour off it.
    canvas.fill(lambda x, y: paper(x, y) and not all(
        paper(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))), BLACK)
    for k, length in enumerate((0.75, 0.6, 0.75, 0.45)):
        v = -hh + height * (k + 1.5) / 6
        (x0, y0), (x1, y1) = point(-hw + 3, v), point(-hw + 3 + (width - 6) * length, v)
        canvas.line(round(x0), round(y0), round(x1), round(y1), GREY)


def sparkle(canvas, x, y, size):
    for i in range(-size, size + 1):
        canvas.set(x + i, y, WHITE if abs(i) < size else AQUA)
        canvas.set(x, y + i, WHITE if abs(i) < size else AQUA)


def cast_shadow(canvas, mask, left, top, scale, floor):
    """Half-darkens the floor under the opaque part of mask, scaled up."""
    for y in range(mask.height * scale):
        for x in range(mask.width * scale):
            px, py = left + x, top + y
            if py >= floor and not mask.px[y // scale][x // scale] and dither(0.6, px, py):
                canvas.set(px, py, BLACK)


def side_picture():
    w, h = SIDE_SIZE
    c = Canvas(w, h, NAVY)
    floor = 196
    for y in range(h):
        for x in range(w):
            if y < floor:
                level = y / floor
                c.px[y][x] = BLUE if dither(level * 0.9, x, y) else NAVY
            else:
                level = (y - floor) / (h - floor)
                c.px[y][x] = TEAL if dither(0.35 + level * 0.65, x, y) else NAVY
    pic, mask = pixmap(COPIER_48)
    left, top, scale = 10, 150, 2
    cast_shadow(c, mask, left + 8, top + 4, scale, floor)
    c.paste(pic, left, top, mask, scale)
    # The copies rise in a curve from the tray, smaller as they go.
    for cx, cy, angle, size in ((20, 150, -20, 1.0), (36, 110, 12, 0.9), (64, 76, -8, 0.8),
                                (92, 40, 18, 0.7)):
        sheet(c, cx, cy, 22 * size, 28 * size, angle)
    for x, y, s in ((50, 130, 3), (78, 100, 2), (104, 66, 3), (20, 60, 2), (60, 20, 2)):
        sparkle(c, x, y, s)
    return c


# ---------------------------------------------------------------------------
# Lettering. The capitals are shapes in a box one unit high (the cap height),
# so they can be drawn at any size and slanted like a display face.

STEM = 0.23   # vertical strokes
BAR = 0.19    # horizontal strokes


def _letter_s():
    upper = ring_shape(0.42, 0.265, 0.42, 0.265, STEM, BAR)
    lower = ring_shape(0.42, 0.735, 0.42, 0.265, STEM, BAR)
    return union(clip(upper, lambda x, y: x < 0.42 or y < 0.20),
                 clip(lower, lambda x, y: x >= 0.42 or y > 0.80))


# Each glyph: (advance width in cap heights, shape).
GLYPHS = {
    'A': (1.00, union(stroke_shape(0.37, 0.63, 0.00, 0.25),
                      stroke_shape(0.37, 0.63, 0.75, 1.00),
                      box_shape(0.20, 0.64, 0.80, 0.81))),
    'E': (0.70, union(box_shape(0, 0, STEM, 1), box_shape(0, 0, 0.70, BAR),
                      box_shape(0, 0.41, 0.64, 0.41 + BAR), box_shape(0, 1 - BAR, 0.70, 1))),
    'I': (STEM, box_shape(0, 0, STEM, 1)),
    'K': (0.88, union(box_shape(0, 0, STEM, 1),
                      polygon_shape([(STEM, 0.48), (0.56, 0.0), (0.86, 0.0), (STEM, 0.86)]),
                      polygon_shape([(0.30, 0.56), (0.46, 0.36), (0.88, 1.0), (0.60, 1.0)]))),
    'O': (0.98, ring_shape(0.49, 0.5, 0.49, 0.5, STEM + 0.01, BAR + 0.01)),
    'P': (0.82, union(box_shape(0, 0, STEM, 1), box_shape(0, 0, 0.44, BAR),
                      box_shape(0, 0.60 - BAR, 0.44, 0.60),
                      clip(ring_shape(0.44, 0.30, 0.38, 0.30, STEM, BAR),
                           lambda x, y: x >= 0.44))),
    'S': (0.84, _letter_s()),
    'T': (0.82, union(box_shape(0, 0, 0.82, BAR), box_shape(0.295, 0, 0.295 + STEM, 1))),
    'U': (0.86, union(box_shape(0, 0, STEM, 0.56), box_shape(0.86 - STEM, 0, 0.86, 0.56),
                      clip(ring_shape(0.43, 0.56, 0.43, 0.44, STEM, BAR),
                           lambda x, y: y >= 0.56))),
    'W': (1.30, union(stroke_shape(0.00, 0.23, 0.22, 0.45),
                      stroke_shape(0.52, 0.73, 0.27, 0.48, 0.0, 1.0),
                      stroke_shape(0.57, 0.78, 0.82, 1.03),
                      stroke_shape(1.07, 1.30, 0.85, 1.08))),
    '1': (0.50, union(box_shape(0.22, 0, 0.22 + STEM, 1),
                      polygon_shape([(0.0, 0.16), (0.30, 0.0), (0.30, 0.24), (0.0, 0.38)]))),
    '.': (0.22, box_shape(0, 1 - 0.22, 0.22, 1)),
}


# Pairs whose shapes leave too wide a gap at the standard spacing.
KERNING = {('W', 'A'): -0.20, ('A', 'W'): -0.20, ('T', 'U'): -0.04}


def _advances(text, spacing):
    """Each letter's pen position, in cap heights, and the total width."""
    pen, positions = 0.0, []
    for i, ch in enumerate(text):
        if i:
            pen += spacing + KERNING.get((text[i - 1], ch), 0.0)
        positions.append(pen)
        pen += GLYPHS[ch][0]
    return positions, pen


def text_width(text, height, spacing=0.12):
    return int(round(_advances(text, spacing)[1] * height))


def draw_text(canvas, x, y, text, height, c, slant=0.0, spacing=0.12):
    """Draws text with its cap height's top-left at (x, y); slant leans the
    letters right by that fraction of the height."""
    positions, _ = _advances(text, spacing)
    for ch, pen in zip(text, positions):
        advance, shape = GLYPHS[ch]
        left = x + pen * height

        def inside(px, py, left=left, shape=shape):
            gy = (py - y) / height
            gx = (px - left - slant * (height - (py - y))) / height
            return shape(gx, gy)
        canvas.fill(inside, c, int(left) - 1, y, int(left + (advance + slant) * height) + 2,
                    y + height)


# ---------------------------------------------------------------------------
# The installer's title. It is blitted onto the backdrop twice, once as a
# mask and once inverted, so its dark pixels come out as white letters with a
# black shadow and its light pixels leave the backdrop alone. Index 0 is dark.

TITLE_SIZE = (216, 110)
PRODUCT = 'KOPIWA'
VERSION = '1.11'


def title_picture():
    ink, paper = 0, 1
    c = Canvas(*TITLE_SIZE, paper)
    slant = 0.18
    left, name_h = 3, 36
    draw_text(c, left, 3, PRODUCT, name_h, ink, slant)
    # The version stands at the right under the name, a rule leading to it.
    ver_h = 14
    ver_x = left + text_width(PRODUCT, name_h) - text_width(VERSION, ver_h, 0.2)
    draw_text(c, ver_x, 46, VERSION, ver_h, ink, slant, 0.2)
    c.rect(left + 2, 52, ver_x - 6, 55, ink)
    draw_text(c, left, 66, 'SETUP', 36, ink, slant, 0.16)
    return c


# ---------------------------------------------------------------------------
# File formats.

def pack_rows(canvas, bpp):
    """Bottom-up rows, each padded to 4 bytes."""
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        bits = nbits = 0
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
    """images: (picture, mask) pairs, mask 1 where transparent. Transparent
    pixels are black in the colour image, so that the AND-then-XOR drawing
    leaves the screen untouched there."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for pic, mask in images:
        colour = Canvas(pic.width, pic.height)
        colour.paste(pic, 0, 0, mask)
        blob = dib(colour, 4, VGA, height_factor=2) + pack_rows(mask, 1)
        entries.append(struct.pack('<BBBBHHII', pic.width % 256, pic.height % 256, 16, 0, 1, 4,
                                   len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(images)) + b''.join(entries) + b''.join(blobs))


PICTURES = [
    ('kopiwa.ico', lambda path: write_ico(path, copier_icon_images())),
    ('setup.ico', lambda path: write_ico(path, setup_icon_images())),
    ('about.bmp', lambda path: write_bmp(path, about_picture())),
    ('tile.bmp', lambda path: write_bmp(path, tile())),
    ('backdrop.bmp', lambda path: write_bmp(path, backdrop())),
    ('side.bmp', lambda path: write_bmp(path, side_picture())),
    ('title.bmp', lambda path: write_bmp(path, title_picture(), bpp=1, palette=MONO)),
]


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, write in PICTURES:
        write(os.path.join(out, name))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
