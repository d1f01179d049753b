// Print placement arithmetic: points from pixels and resolution, device pixels
// from points, cropping at the printable area; and drawing the placed image.
#include "print_geometry.h"

#include <climits>
#include <cmath>

#include "dib.h"

namespace {

const double kPointsPerMetre = 2834.645669291339;  // 72 × 39.37007874

LONG ClampToLong(long long value) {
    if (value > LONG_MAX) return LONG_MAX;
    if (value < LONG_MIN) return LONG_MIN;
    return static_cast<LONG>(value);
}

// A source that reported nothing (or nonsense) is taken as 200 dots per inch.
LONG UsableDpm(LONG dpm) { return dpm > 0 ? dpm : kDefaultImageDpm; }

// The image's physical length in points, kept with its fraction: cut to whole
// points first, a scan of 3504 rows at 300 dpi (840.96 points) would print
// 3500 dots high, a third of a millimetre short, and four times that at 400 %.
double PhysicalPoints(LONG pixels, LONG dpm) { return pixels * kPointsPerMetre / dpm; }

LONG WholePoints(double points) {
    const double whole = std::trunc(points);
    if (whole >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (whole <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<LONG>(whole);
}

struct Axis {
    LONG dest;
    LONG src;
    LONG wholeDest;
    LONG wholeSrc;
};

Axis Uncropped(long long dest, long long src) {
    return Axis{ClampToLong(dest), ClampToLong(src), ClampToLong(dest), ClampToLong(src)};
}

// One axis: the printed length to the nearest printer dot, held in 64 bits so
// that an outsized image cannot wrap round. What does not fit is cut off at
// the far edge and the scale is kept: the pixels wholly inside the printable
// area keep their exact size, and the one it cuts gets what is left of it.
// (Stretching the pixels that fit over the printable area would make each of
// them too large by up to one pixel's width in their count.)
Axis PlaceAxis(LONG pixels, double points, LONG dpi, LONG printable, int scale) {
    const double exact = static_cast<double>(dpi) * points / 72.0 * scale / 100.0;
    if (!(exact < 9.0e18)) return printable > 0 ? Axis{printable, 1, 0, 0} : Axis{0, 0, 0, 0};
    const long long dest = static_cast<long long>(std::floor(exact + 0.5));
    if (dest <= 0) return Axis{0, 0, 0, 0};
    if (dest <= printable) return Uncropped(dest, pixels);
    if (printable <= 0) return Axis{0, 0, 0, 0};
    const double pixelSize = exact / pixels;
    // A single image pixel larger than the page still shows as that pixel.
    if (!(pixelSize < printable)) return Axis{printable, 1, 0, 0};
    long long whole = static_cast<long long>(std::floor(printable / pixelSize));
    long long wholeDest = static_cast<long long>(std::floor(whole * pixelSize + 0.5));
    if (wholeDest > printable) {
        --whole;
        wholeDest = static_cast<long long>(std::floor(whole * pixelSize + 0.5));
    }
    const long long src = wholeDest < printable && whole < pixels ? whole + 1 : whole;
    return Axis{printable, ClampToLong(src), ClampToLong(wholeDest), ClampToLong(whole)};
}

// One axis of a placed image in at most two pieces: the pixels drawn whole at
// their exact size, then the last pixel in what is left of the printable area.
struct AxisPiece {
    LONG src0, src1, dest0, dest1;
};

int AxisPieces(LONG wholeSrc, LONG wholeDest, LONG src, LONG dest, AxisPiece pieces[2]) {
    int count = 0;
    if (wholeSrc > 0 && wholeDest > 0) pieces[count++] = {0, wholeSrc, 0, wholeDest};
    if (src > wholeSrc && dest > wholeDest) pieces[count++] = {wholeSrc, src, wholeDest, dest};
    return count;
}

}  // namespace

PrintPlacement ComputePrintPlacement(LONG imageWidth, LONG imageHeight, LONG xDpm, LONG yDpm,
                                     const PrinterMetrics& printer, int scale) {
    PrintPlacement p{};
    p.xDpm = UsableDpm(xDpm);
    p.yDpm = UsableDpm(yDpm);
    const double widthPt = PhysicalPoints(imageWidth, p.xDpm);
    const double heightPt = PhysicalPoints(imageHeight, p.yDpm);
    p.widthPt = WholePoints(widthPt);
    p.heightPt = WholePoints(heightPt);
    const Axis x = PlaceAxis(imageWidth, widthPt, printer.nLogPixelsX, printer.nHorzRes, scale);
    const Axis y = PlaceAxis(imageHeight, heightPt, printer.nLogPixelsY, printer.nVertRes, scale);
    p.destWidth = x.dest;
    p.srcWidth = x.src;
    p.wholeDestWidth = x.wholeDest;
    p.wholeSrcWidth = x.wholeSrc;
    p.destHeight = y.dest;
    p.srcHeight = y.src;
    p.wholeDestHeight = y.wholeDest;
    p.wholeSrcHeight = y.wholeSrc;
    return p;
}

// Each piece maps whole source pixels onto whole device pixels, so no driver
// has to clip a stretched picture (which rounds the visible source part to
// whole pixels and stretches that over the rest).
BOOL DrawPlacedImage(HDC device, const void* image, const PrintPlacement& placement, HPALETTE palette) {
    AxisPiece columns[2], rows[2];
    const int columnCount = AxisPieces(placement.wholeSrcWidth, placement.wholeDestWidth, placement.srcWidth,
                                       placement.destWidth, columns);
    const int rowCount = AxisPieces(placement.wholeSrcHeight, placement.wholeDestHeight, placement.srcHeight,
                                    placement.destHeight, rows);
    BOOL drawn = columnCount > 0 && rowCount > 0;
    for (int r = 0; r < rowCount; ++r) {
        for (int c = 0; c < columnCount; ++c) {
            const RECT destination = {columns[c].dest0, rows[r].dest0, columns[c].dest1, rows[r].dest1};
            const RECT source = {columns[c].src0, rows[r].src0, columns[c].src1, rows[r].src1};
            if (!DrawDib(device, destination, image, source, palette)) drawn = FALSE;
        }
    }
    return drawn;
}
