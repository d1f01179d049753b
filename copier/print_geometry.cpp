// Print placement arithmetic: points from pixels and resolution, device pixels
// from points, cropping at the printable area.
#include "print_geometry.h"

#include <climits>
#include <cmath>

namespace {

const double kPointsPerMetre = 2834.645669291339;  // 72 × 39.37007874

LONG ClampToLong(long long value) {
    if (value > LONG_MAX) return LONG_MAX;
    if (value < LONG_MIN) return LONG_MIN;
    return static_cast<LONG>(value);
}

// A source that reported nothing (or nonsense) is taken as 200 dots per inch.
LONG UsableDpm(LONG dpm) { return dpm > 0 ? dpm : kDefaultImageDpm; }

long long PhysicalPoints(LONG pixels, LONG dpm) {
    const double points = std::trunc(pixels * kPointsPerMetre / dpm);
    if (points >= static_cast<double>(LONG_MAX)) return LONG_MAX;
    if (points <= static_cast<double>(LONG_MIN)) return LONG_MIN;
    return static_cast<long long>(points);
}

struct Axis {
    LONG dest;
    LONG src;
};

// One axis: integer arithmetic left to right, each division truncating, held
// in 64 bits so that an outsized image cannot wrap round. What does not fit is
// cut off at the far edge and the scale is kept.
Axis PlaceAxis(LONG pixels, long long points, LONG dpi, LONG printable, int scale) {
    long long dest = static_cast<long long>(dpi) * points / 72 * scale / 100;
    long long src = pixels;
    if (dest > printable) {
        if (printable <= 0) return Axis{0, 0};
        src = static_cast<long long>(printable) * pixels / dest;
        dest = printable;
        // A single image pixel larger than the page still shows as that pixel.
        if (src < 1) src = 1;
    }
    if (dest <= 0) return Axis{0, 0};
    return Axis{ClampToLong(dest), ClampToLong(src)};
}

}  // namespace

PrintPlacement ComputePrintPlacement(LONG imageWidth, LONG imageHeight, LONG xDpm, LONG yDpm,
                                     const PrinterMetrics& printer, int scale) {
    PrintPlacement p{};
    p.xDpm = UsableDpm(xDpm);
    p.yDpm = UsableDpm(yDpm);
    const long long widthPt = PhysicalPoints(imageWidth, p.xDpm);
    const long long heightPt = PhysicalPoints(imageHeight, p.yDpm);
    p.widthPt = ClampToLong(widthPt);
    p.heightPt = ClampToLong(heightPt);
    const Axis x = PlaceAxis(imageWidth, widthPt, printer.nLogPixelsX, printer.nHorzRes, scale);
    const Axis y = PlaceAxis(imageHeight, heightPt, printer.nLogPixelsY, printer.nVertRes, scale);
    p.destWidth = x.dest;
    p.srcWidth = x.src;
    p.destHeight = y.dest;
    p.srcHeight = y.src;
    return p;
}
