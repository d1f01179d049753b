// Sizing a scan to the printer: the frame, resolution and pixel type that a
// copy at a given scale asks the scanner for.
#pragma once

#include <windows.h>

#include "printer_metrics.h"

class CTwainSession;

// Scan modes and speeds as the copy dialog stores them.
enum ScanMode { ScanModeColor = 0, ScanModeGray = 1, ScanModeText = 2 };
enum ScanSpeed { ScanSpeedFastest = 0, ScanSpeedFast = 1, ScanSpeedNormal = 2 };

struct ScanRequest {
    LONG maxWidthPt;   // largest frame that still fits the page after scaling
    LONG maxHeightPt;
    LONG resolutionDpm;  // asked for on both axes, before snapping
};

// The arithmetic alone, for a scale already validated (25 to 400).
ScanRequest ComputeScanRequest(const PrinterMetrics& printer, int scale, int mode, int speed);

// Asks the open source for the computed frame, resolution and pixel type.
void PrepareScan(CTwainSession& session, const PrinterMetrics& printer, int scale, int mode,
                 int speed);
