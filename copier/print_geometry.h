// Where a scanned image lands on the printed page: its physical size from its
// resolution, scaled to the printer's dots and cropped at the printable area.
#pragma once

#include <windows.h>

#include "printer_metrics.h"

// Dots per metre assumed for an image whose source reported no resolution
// (200 dots per inch).
const LONG kDefaultImageDpm = 7874;

struct PrintPlacement {
    LONG xDpm, yDpm;            // image resolution used
    LONG widthPt, heightPt;     // physical size of the whole image in whole points
    LONG destWidth, destHeight; // device pixels from the printable area's top-left
    LONG srcWidth, srcHeight;   // image pixels drawn there, from the image's top-left
    // Of those, the pixels drawn whole at their exact size and the device
    // pixels they take; the rest of the destination (less than one pixel's
    // size) shows the last image pixel as far as the printable area goes.
    // Equal to the above where nothing is cropped.
    LONG wholeDestWidth, wholeDestHeight;
    LONG wholeSrcWidth, wholeSrcHeight;
};

// `imageWidth` and `imageHeight` in pixels (positive), resolutions in dots per
// metre as the source reported them, `scale` in percent (positive). Each
// printed length is the image's exact physical length times the scale, to the
// nearest printer dot; a cropped image keeps that size for every pixel drawn
// whole. Nothing is to be drawn when a destination size comes out 0.
PrintPlacement ComputePrintPlacement(LONG imageWidth, LONG imageHeight, LONG xDpm, LONG yDpm,
                                     const PrinterMetrics& printer, int scale);

// Draws `image` (a packed DIB that IsDibUsable accepted) as placed, from the
// device's origin, in up to four pieces: the pixels drawn whole, the last
// column and the last row where the printable area cuts them, and their
// corner. FALSE when there was nothing to draw or a drawing call failed.
BOOL DrawPlacedImage(HDC device, const void* image, const PrintPlacement& placement, HPALETTE palette);
