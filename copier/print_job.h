// Printing the held scan at its true size times the scale, and measuring the
// printer a scan is sized for.
#pragma once

#include <windows.h>

#include "printer_metrics.h"

// The printer of the application's selection (the print dialog is offered
// when there is none): dots per inch and printable area in device pixels.
// FALSE when no printer device context can be had.
BOOL GetPrinterMetrics(PrinterMetrics* metrics);
