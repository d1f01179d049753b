// Print placement: physical size from resolution, device pixels at the scale,
// cropping at the printable area.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "print_geometry.h"

namespace {

const PrinterMetrics kPrinter600{600, 600, 4800, 6600};

TEST(PrintGeometry, CropsTheWidthOfALetterPageAtTheA4PrintableArea) {
    const PrintPlacement p = ComputePrintPlacement(1700, 2200, 7874, 7874, kPrinter600, 100);
    EXPECT_EQ(p.widthPt, 612);
    EXPECT_EQ(p.heightPt, 792);
    EXPECT_EQ(p.destWidth, 4800) << "5100 pixels cropped at the printable width";
    EXPECT_EQ(p.srcWidth, 1600);
    EXPECT_EQ(p.destHeight, 6600);
    EXPECT_EQ(p.srcHeight, 2200) << "exactly the printable height: not cropped";
}

TEST(PrintGeometry, HalfScaleFitsWithoutCropping) {
    const PrintPlacement p = ComputePrintPlacement(1700, 2200, 7874, 7874, kPrinter600, 50);
    EXPECT_EQ(p.destWidth, 2550);
    EXPECT_EQ(p.destHeight, 3300);
    EXPECT_EQ(p.srcWidth, 1700);
    EXPECT_EQ(p.srcHeight, 2200);
}

TEST(PrintGeometry, PrintsTheExactLengthToTheNearestDot) {
    // 101 pixels at 300 dpi (11811 dpm) are 24.24 points; on a 300 dpi
    // printer 101 dots, at 33 % 33.33, so 33.
    const PrinterMetrics p300{300, 300, 2479, 3508};
    const PrintPlacement p = ComputePrintPlacement(101, 101, 11811, 11811, p300, 33);
    EXPECT_EQ(p.widthPt, 24);
    EXPECT_EQ(p.destWidth, 33);
    // A4 scanned at 300 dpi: 3504 rows are 840.96 points. Whole points would
    // give 3500 dots (0.34 mm short), and 14 dots short at 400 %.
    const PrintPlacement a4 = ComputePrintPlacement(2475, 3504, 11811, 11811, p300, 100);
    EXPECT_EQ(a4.destWidth, 2475);
    EXPECT_EQ(a4.destHeight, 3504);
    const PrintPlacement quarter = ComputePrintPlacement(619, 876, 11811, 11811, p300, 400);
    EXPECT_EQ(quarter.destWidth, 2476);
    EXPECT_EQ(quarter.destHeight, 3504);
    // Different axes keep their own resolutions and printer dots.
    const PrinterMetrics odd{600, 300, 4800, 3300};
    const PrintPlacement q = ComputePrintPlacement(300, 300, 11811, 5905, odd, 100);
    EXPECT_EQ(q.widthPt, 72);
    EXPECT_EQ(q.heightPt, 144);
    EXPECT_EQ(q.destWidth, 600);
    EXPECT_EQ(q.destHeight, 600);
}

// Where the printable area cuts the image, the pixels wholly inside it keep
// their exact size (their count times that size, to the nearest dot), and the
// one it cuts fills the rest of it.
TEST(PrintGeometry, CroppedPixelsKeepTheirExactSize) {
    const PrinterMetrics pdf300{300, 300, 2479, 3508};
    const PrinterMetrics laser600{600, 600, 4798, 6814};
    struct Case {
        LONG pixels, dpm;
        PrinterMetrics printer;
        int scale;
    } cases[] = {
        {619, 2953, pdf300, 400},    // 154.95 pixels fill the width
        {876, 2953, pdf300, 387},    // 226.6 pixels fill the height
        {619, 2953, pdf300, 387},    // 160.1
        {640, 2953, laser600, 387},  // 154.97
        {2475, 11811, pdf300, 101},  // 2454.5
        {1700, 7874, laser600, 100}, // 1599.3
    };
    for (const Case& c : cases) {
        const PrintPlacement p = ComputePrintPlacement(c.pixels, c.pixels, c.dpm, c.dpm, c.printer, c.scale);
        const double pixelSize =
            c.pixels * 2834.645669291339 / c.dpm * c.printer.nLogPixelsX / 72.0 * c.scale / 100.0 / c.pixels;
        const std::string name = std::to_string(c.pixels) + " at " + std::to_string(c.scale) + " %";
        const LONG printable = c.printer.nHorzRes;
        EXPECT_EQ(p.destWidth, printable) << name << ": cropped";
        EXPECT_EQ(p.wholeSrcWidth, static_cast<LONG>(printable / pixelSize)) << name;
        EXPECT_NEAR(p.wholeDestWidth, p.wholeSrcWidth * pixelSize, 0.5) << name;
        EXPECT_LE(p.wholeDestWidth, printable) << name;
        EXPECT_EQ(p.srcWidth, p.wholeSrcWidth + (p.wholeDestWidth < printable ? 1 : 0)) << name;
    }
    const PrintPlacement fits = ComputePrintPlacement(1700, 2200, 7874, 7874, kPrinter600, 50);
    EXPECT_EQ(fits.wholeSrcWidth, fits.srcWidth) << "nothing cut";
    EXPECT_EQ(fits.wholeDestHeight, fits.destHeight);
}

TEST(PrintGeometry, AMissingResolutionCountsAs200Dpi) {
    const PrintPlacement p = ComputePrintPlacement(1700, 2200, 0, 0, kPrinter600, 50);
    EXPECT_EQ(p.xDpm, kDefaultImageDpm);
    EXPECT_EQ(p.yDpm, kDefaultImageDpm);
    EXPECT_EQ(p.destWidth, 2550);
    const PrintPlacement n = ComputePrintPlacement(1700, 2200, -5, 7874, kPrinter600, 50);
    EXPECT_EQ(n.xDpm, kDefaultImageDpm) << "nor can a negative one be used";
}

TEST(PrintGeometry, OutsizedImagesAreCroppedWithoutWrappingRound) {
    // One dot per metre makes a 100000-pixel image 283 million points wide.
    const PrintPlacement p = ComputePrintPlacement(100000, 100000, 1, 1, kPrinter600, 400);
    EXPECT_EQ(p.destWidth, 4800);
    EXPECT_EQ(p.destHeight, 6600);
    EXPECT_GE(p.srcWidth, 1);
    EXPECT_LE(p.srcWidth, 100000);
    // A single pixel larger than the page still shows as that pixel.
    const PrintPlacement one = ComputePrintPlacement(2, 2, 1, 1, kPrinter600, 100);
    EXPECT_EQ(one.srcWidth, 1);
    EXPECT_EQ(one.destWidth, 4800);
}

TEST(PrintGeometry, APrinterWithNoPrintableAreaGetsNothingToDraw) {
    const PrintPlacement p =
        ComputePrintPlacement(1700, 2200, 7874, 7874, PrinterMetrics{600, 600, 0, 0}, 100);
    EXPECT_EQ(p.destWidth, 0);
    EXPECT_EQ(p.destHeight, 0);
    const PrintPlacement tiny = ComputePrintPlacement(1, 1, 1000000, 1000000, kPrinter600, 25);
    EXPECT_EQ(tiny.destWidth, 0) << "smaller than a point";
}

}  // namespace
