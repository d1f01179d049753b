// Sizing a scan to the printer: the largest frame that still fits the page at
// the chosen scale, and the resolution that prints at the printer's own.
#include "scan_plan.h"

#include <algorithm>
#include <cmath>

#include "twain_session.h"

namespace {

// Resolution divisors by mode and speed: quality traded for speed, less so for
// grey photographs and text than for colour.
const int kDivisors[3][3] = {
    // super-fast, fast, normal
    {6, 3, 2},  // colour
    {4, 2, 1},  // grey photograph
    {3, 2, 1},  // text
};

int DivisorOf(int mode, int speed) {
    if (mode < ScanModeColor || mode > ScanModeText) return 1;
    if (speed != ScanSpeedFastest && speed != ScanSpeedFast) speed = ScanSpeedNormal;
    return kDivisors[mode][speed];
}

// Printable length in points, truncated, then scaled back to what the scanner
// must cover; 0 for a printer that reports no resolution.
LONG PageBoundPoints(LONG pixels, LONG dpi, int scale) {
    if (dpi <= 0) return 0;
    const LONG points = static_cast<LONG>(std::trunc(pixels * 72.0 / dpi));
    return points * 100 / scale;
}

bool IsKnownMode(int mode) { return mode >= ScanModeColor && mode <= ScanModeText; }

}  // namespace

ScanRequest ComputeScanRequest(const PrinterMetrics& printer, int scale, int mode, int speed) {
    ScanRequest request{};
    if (scale <= 0) return request;
    request.maxWidthPt = PageBoundPoints(printer.nHorzRes, printer.nLogPixelsX, scale);
    request.maxHeightPt = PageBoundPoints(printer.nVertRes, printer.nLogPixelsY, scale);
    // Dots per metre from the printer's finer axis, raised by the scale.
    const LONG finer = std::max(printer.nLogPixelsX, printer.nLogPixelsY);
    const LONG base = static_cast<LONG>(std::trunc(finer * 100 * 0.39370078740157477));
    request.resolutionDpm = base * scale / 100 / DivisorOf(mode, speed);
    return request;
}

void PrepareScan(CTwainSession& session, const PrinterMetrics& printer, int scale, int mode,
                 int speed) {
    const ScanRequest request = ComputeScanRequest(printer, scale, mode, speed);
    LONG width = request.maxWidthPt;
    LONG height = request.maxHeightPt;
    // Without a readable bed size the page bound alone limits the frame; so
    // too with a bed of no size or a negative one, which would ask the source
    // for a frame that ends before it begins.
    LONG bedWidth = 0, bedHeight = 0;
    if (session.GetPhysicalSize(&bedWidth, &bedHeight) && bedWidth > 0 && bedHeight > 0) {
        width = std::min(bedWidth, width);
        height = std::min(bedHeight, height);
    }
    // The results are not examined: a source that refuses one of these scans
    // with its own value.
    session.SetFrame(0, 0, width, height);
    session.SetResolution(request.resolutionDpm, request.resolutionDpm);
    if (IsKnownMode(mode) && session.IsPixelTypeSupported(mode)) session.SetPixelType(mode);
}
