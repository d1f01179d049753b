"""Unit tests of the PDF measurement's pixel scan (no PDF needed)."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..'))
import pdf_bbox  # noqa: E402


def pgm(width, height, ink):
    pixels = bytearray(b'\xff' * (width * height))
    for x, y, v in ink:
        pixels[y * width + x] = v
    return b'P5\n# comment\n%d %d\n255\n' % (width, height) + bytes(pixels)


class InkBoxTest(unittest.TestCase):
    def box(self, width, height, ink, threshold=128):
        w, h, pixels = pdf_bbox.read_pgm(pgm(width, height, ink))
        self.assertEqual((w, h), (width, height))
        return pdf_bbox.ink_box(w, h, pixels, threshold)

    def test_blank_page_has_no_box(self):
        self.assertIsNone(self.box(10, 8, []))

    def test_single_pixel_is_one_by_one(self):
        self.assertEqual(self.box(10, 8, [(3, 5, 0)]), (3, 5, 4, 6))

    def test_box_spans_extreme_pixels_in_any_row(self):
        ink = [(9, 0, 0), (0, 7, 10), (4, 3, 0)]
        self.assertEqual(self.box(10, 8, ink), (0, 0, 10, 8))

    def test_light_grey_below_threshold_counts_as_white(self):
        self.assertIsNone(self.box(10, 8, [(2, 2, 200)]))
        self.assertEqual(self.box(10, 8, [(2, 2, 100)]), (2, 2, 3, 3))


if __name__ == '__main__':
    unittest.main()
