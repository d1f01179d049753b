#!/usr/bin/env python3
"""Checks the pictures that generate.py writes, by reading the files back with
a reader of their own: the formats the resource compiler and the programs
expect, the sizes and colour depths, the colours that the programs map to the
system's button colours, the icons' masks, the tiles' seams and the title's
ink."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
GENERATOR = os.path.join(os.path.dirname(HERE), 'generate.py')

STANDARD_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, LIGHT_GREY, DARK_GREY, WHITE = 0, 7, 8, 15
BUTTON_COLOURS = {BLACK, LIGHT_GREY, DARK_GREY, WHITE}


class Dib:
    """A parsed BITMAPINFOHEADER bitmap: palette and rows of indexes, top row first."""

    def __init__(self, data, offset, bits_offset=None, height_factor=1):
        (size, self.width, height, planes, self.bpp, compression, _, _, _, used,
         _) = struct.unpack_from('<IiiHHIIiiII', data, offset)
        if size != 40 or planes != 1 or compression != 0:
            raise ValueError('not a plain BITMAPINFOHEADER bitmap')
        if height <= 0 or height % height_factor:
            raise ValueError('height %d' % height)
        self.height = height // height_factor
        count = used or (1 << self.bpp)
        table = offset + 40
        self.palette = [tuple(data[table + 4 * i + 2 - k] for k in range(3)) for i in range(count)]
        bits = table + 4 * count if bits_offset is None else bits_offset
        self.stride = (self.width * self.bpp + 31) // 32 * 4
        self.end = bits + self.stride * self.height
        if self.end > len(data):
            raise ValueError('pixel data cut short')
        self.rows = [read_row(data, bits + (self.height - 1 - y) * self.stride, self.width,
                              self.bpp) for y in range(self.height)]

    def count(self, index):
        return sum(row.count(index) for row in self.rows)

    def luminance(self, x, y):
        r, g, b = self.palette[self.rows[y][x]]
        return 0.299 * r + 0.587 * g + 0.114 * b


def read_row(data, start, width, bpp):
    per_byte = 8 // bpp
    row = []
    for x in range(width):
        byte = data[start + x // per_byte]
        shift = 8 - bpp * (x % per_byte + 1)
        row.append((byte >> shift) & ((1 << bpp) - 1))
    return row


def read_bmp(path):
    with open(path, 'rb') as f:
        data = f.read()
    magic, size, _, _, bits = struct.unpack_from('<2sIHHI', data, 0)
    if magic != b'BM' or size != len(data):
        raise ValueError('%s: bad file header' % path)
    dib = Dib(data, 14, bits)
    if bits != 14 + 40 + 4 * len(dib.palette) or dib.end != len(data):
        raise ValueError('%s: pixel data misplaced' % path)
    return dib


def read_ico(path):
    """(width, height, colour DIB, AND mask rows with 1 = transparent) per image."""
    with open(path, 'rb') as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if reserved != 0 or kind != 1 or count == 0:
        raise ValueError('%s: not an icon file' % path)
    images = []
    for i in range(count):
        w, h, colours, zero, planes, bpp, size, offset = struct.unpack_from(
            '<BBBBHHII', data, 6 + 16 * i)
        if offset + size > len(data):
            raise ValueError('%s: image %d runs past the end' % (path, i))
        dib = Dib(data, offset, height_factor=2)
        if (dib.width, dib.height) != (w or 256, h or 256):
            raise ValueError('%s: directory and image sizes differ' % path)
        if (colours, zero, planes, bpp) != (1 << dib.bpp if dib.bpp < 8 else 0, 0, 1, dib.bpp):
            raise ValueError('%s: directory entry %d disagrees with its image' % (path, i))
        mask_stride = (dib.width + 31) // 32 * 4
        if dib.end + mask_stride * dib.height != offset + size:
            raise ValueError('%s: image %d has no complete mask' % (path, i))
        mask = [read_row(data, dib.end + (dib.height - 1 - y) * mask_stride, dib.width, 1)
                for y in range(dib.height)]
        images.append((dib.width, dib.height, dib, mask))
    return images


def run_generator(out):
    subprocess.run([sys.executable, GENERATOR, out], check=True)


class Pictures(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.out = cls.tmp.name
        run_generator(cls.out)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.out, name)

    def bmp(self, name, width, height, bpp):
        dib = read_bmp(self.path(name))
        self.assertEqual((dib.width, dib.height, dib.bpp), (width, height, bpp), name)
        return dib

    def assert_standard_palette(self, dib, name):
        # The button colours must be exact: the programs recognise them by value.
        self.assertEqual(dib.palette, STANDARD_16, name)

    def test_sixteen_colour_bitmaps_have_their_sizes_and_the_standard_palette(self):
        for name, width, height in (('about.bmp', 48, 48), ('tile.bmp', 48, 48),
                                    ('backdrop.bmp', 128, 128), ('side.bmp', 120, 260)):
            dib = self.bmp(name, width, height, 4)
            self.assert_standard_palette(dib, name)
            used = {c for row in dib.rows for c in row}
            self.assertGreaterEqual(len(used), 3, '%s is all but blank' % name)

    def assert_icon(self, name, sizes):
        images = read_ico(self.path(name))
        self.assertEqual(sorted((w, h) for w, h, _, _ in images),
                         sorted((s, s) for s in sizes), name)
        for w, h, dib, mask in images:
            label = '%s %dx%d' % (name, w, h)
            self.assertEqual(dib.bpp, 4, label)
            self.assert_standard_palette(dib, label)
            transparent = [(x, y) for y in range(h) for x in range(w) if mask[y][x]]
            self.assertTrue(transparent, '%s has no transparent pixel' % label)
            self.assertLess(len(transparent), w * h * 0.8, '%s is nearly empty' % label)
            # Under the mask the colour image must be black, or the screen
            # shows through inverted.
            self.assertEqual({dib.rows[y][x] for x, y in transparent}, {BLACK}, label)
            self.assertTrue(mask[0][0] and mask[0][w - 1], '%s fills its corners' % label)
            opaque = {dib.rows[y][x] for y in range(h) for x in range(w) if not mask[y][x]}
            self.assertIn(BLACK, opaque, '%s has no outline' % label)
            self.assertGreaterEqual(len(opaque), 5, '%s has too few colours' % label)

    def test_copier_icon_has_large_and_small_images_with_masks(self):
        self.assert_icon('kopiwa.ico', (48, 32, 16))

    def test_installer_icon_has_large_and_small_images_with_masks(self):
        self.assert_icon('setup.ico', (48, 32, 16))

    def test_about_picture_blends_with_the_dialog_face(self):
        dib = self.bmp('about.bmp', 48, 48, 4)
        corners = {dib.rows[y][x] for x in (0, 47) for y in (0, 47)}
        self.assertEqual(corners, {LIGHT_GREY})
        self.assertGreater(dib.count(LIGHT_GREY), 48 * 48 // 4)
        self.assertTrue(BUTTON_COLOURS <= {c for row in dib.rows for c in row})

    def test_dialog_tile_is_light_grey_with_a_raised_diagonal_that_runs_across_tiles(self):
        dib = self.bmp('tile.bmp', 48, 48, 4)
        n = 48
        self.assertEqual({c for row in dib.rows for c in row}, {LIGHT_GREY, WHITE, DARK_GREY},
                         'only colours that follow the system colours')
        self.assertGreater(dib.count(LIGHT_GREY), n * n * 3 // 4)
        # From the lower left to the upper right, corner to corner.
        self.assertEqual(dib.rows[n - 1][0], WHITE)
        self.assertEqual(dib.rows[0][n - 1], WHITE)
        for colour in (WHITE, DARK_GREY):
            for y in range(n):
                for x in range(n):
                    if dib.rows[y][x] == colour:
                        # Continues up-right and down-left, wrapping into the
                        # neighbouring tiles.
                        self.assertEqual(dib.rows[(y - 1) % n][(x + 1) % n], colour, (x, y))
                        self.assertEqual(dib.rows[(y + 1) % n][(x - 1) % n], colour, (x, y))
        # Raised: the light edge above and left, the shadow below and right.
        for y in range(n):
            for x in range(n):
                if dib.rows[y][x] == WHITE:
                    self.assertEqual(dib.rows[y][(x + 1) % n], DARK_GREY, (x, y))
                    self.assertEqual(dib.rows[(y + 1) % n][x], DARK_GREY, (x, y))

    def test_backdrop_tiles_without_a_seam_and_stays_dark(self):
        dib = self.bmp('backdrop.bmp', 128, 128, 4)
        n = 128
        # Brightness averaged over 4 x 4 blocks, which evens out the ordered
        # dithering; where one tile meets the next, the step from block to
        # block must be no bigger than anywhere inside the tile.
        b = 4
        m = n // b
        blocks = [[sum(dib.luminance(bx * b + i, by * b + j) for i in range(b) for j in range(b))
                   / (b * b) for bx in range(m)] for by in range(m)]

        def across(x):
            return sum(abs(blocks[y][(x + 1) % m] - blocks[y][x]) for y in range(m)) / m

        def down(y):
            return sum(abs(blocks[(y + 1) % m][x] - blocks[y][x]) for x in range(m)) / m
        for step in (across, down):
            self.assertLessEqual(step(m - 1), max(step(i) for i in range(m - 1)), step.__name__)
        mean = sum(dib.luminance(x, y) for y in range(n) for x in range(n)) / (n * n)
        self.assertLess(mean, 60, 'too light for the white title')
        self.assertLess(dib.count(BLACK), n * n // 3, 'too black for the title\'s shadow')
        self.assertEqual(dib.count(WHITE), 0)

    def test_title_is_monochrome_with_dark_lettering_in_two_lines(self):
        dib = self.bmp('title.bmp', 216, 110, 1)
        # Index 0 must be black: the installer draws it with the text colour
        # and turns it into the white letters.
        self.assertEqual(dib.palette, [(0, 0, 0), (255, 255, 255)])
        ink = dib.count(0)
        self.assertGreater(ink, 216 * 110 // 10)
        self.assertLess(ink, 216 * 110 // 2, 'the light pixels are the background')
        margin = 2
        for y in range(dib.height):
            for x in range(dib.width):
                if x < margin or y < margin or x >= dib.width - margin or y >= dib.height - margin:
                    self.assertEqual(dib.rows[y][x], 1, 'ink at the edge, (%d, %d)' % (x, y))
        # Rows with ink come in bands: the name (and the version line) above
        # the word SETUP, which is as tall as the name.
        inked = [0 in row for row in dib.rows]
        bands, start = [], None
        for y, has_ink in enumerate(inked + [False]):
            if has_ink and start is None:
                start = y
            elif not has_ink and start is not None:
                bands.append((start, y))
                start = None
        self.assertGreaterEqual(len(bands), 2, bands)
        top, bottom = bands[0], bands[-1]
        self.assertGreater(top[1] - top[0], 24, 'the name is drawn large')
        self.assertGreater(bottom[1] - bottom[0], 24, 'SETUP is drawn large')

    def test_side_picture_is_a_tall_colour_picture(self):
        dib = self.bmp('side.bmp', 120, 260, 4)
        used = {c for row in dib.rows for c in row}
        self.assertGreaterEqual(len(used), 8)
        self.assertTrue({WHITE, BLACK} <= used)

    def test_generation_is_repeatable(self):
        with tempfile.TemporaryDirectory() as again:
            run_generator(again)
            for name in sorted(os.listdir(self.out)):
                with open(self.path(name), 'rb') as a, open(os.path.join(again, name), 'rb') as b:
                    self.assertEqual(a.read(), b.read(), name)
            self.assertEqual(sorted(os.listdir(again)), sorted(os.listdir(self.out)))


class Readers(unittest.TestCase):
    """The test's own readers reject what the resource compiler would."""

    def test_cut_short_bitmap_is_rejected(self):
        with tempfile.TemporaryDirectory() as out:
            run_generator(out)
            path = os.path.join(out, 'tile.bmp')
            with open(path, 'rb') as f:
                data = f.read()
            with open(path, 'wb') as f:
                f.write(data[:-10])
            self.assertRaises(ValueError, read_bmp, path)


if __name__ == '__main__':
    unittest.main()
