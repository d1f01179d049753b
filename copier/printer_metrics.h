// What the copier needs to know of a printer to size a scan and a print.
#pragma once

#include <windows.h>

struct PrinterMetrics {
    LONG nLogPixelsX;  // dots per inch
    LONG nLogPixelsY;
    LONG nHorzRes;     // printable area in device pixels
    LONG nVertRes;
};
