// The print job: measuring the printer and printing the held image.
#include "print_job.h"

#include "copy_dialog.h"
#include "kfw/print.h"

BOOL GetPrinterMetrics(PrinterMetrics* metrics) {
    CPrintInfo settings;
    if (!settings.PreparePrinting()) return FALSE;
    HDC printer = settings.GetPrinterDC();
    metrics->nLogPixelsX = GetDeviceCaps(printer, LOGPIXELSX);
    metrics->nLogPixelsY = GetDeviceCaps(printer, LOGPIXELSY);
    metrics->nHorzRes = GetDeviceCaps(printer, HORZRES);
    metrics->nVertRes = GetDeviceCaps(printer, VERTRES);
    return TRUE;
}

// The print job itself (progress dialog, abort procedure, drawing the page)
// is not built yet: nothing is printed and the caller is told so.
BOOL CCopyDialog::PrintImage(int) { return FALSE; }
