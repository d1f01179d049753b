// Printing the held scan at its true size times the scale, and measuring the
// printer a scan is sized for.
#pragma once

#include <windows.h>

#include "kfw/dialog.h"
#include "printer_metrics.h"

// The printer of the application's selection (the print dialog is offered
// when there is none): dots per inch and printable area in device pixels.
// FALSE when no printer device context can be had.
BOOL GetPrinterMetrics(PrinterMetrics* metrics);

// The spooler's calls that a print job makes, gathered so that a failure of
// each can be tried without a failing printer. The real functions by default.
struct SpoolerCalls {
    int(WINAPI* startDoc)(HDC, const DOCINFOA*);
    int(WINAPI* startPage)(HDC);
    int(WINAPI* endPage)(HDC);
    int(WINAPI* endDoc)(HDC);
    int(WINAPI* abortDoc)(HDC);
};
extern SpoolerCalls g_spooler;

// Set by the progress dialog's Cancel; read by the abort procedure.
extern BOOL g_bUserAbort;

// The spooler's abort procedure: keeps the message loop turning while a page
// is sent; FALSE aborts the job (the user cancelled, or the program quits).
BOOL CALLBACK PrintAbortProc(HDC printer, int code);

// The modeless dialog shown while a page is printed, with its Cancel.
class CPrintProgressDialog : public CDialog {
public:
    explicit CPrintProgressDialog(CWnd* parent) noexcept;

protected:
    BOOL OnInitDialog() override;
    void OnCancel() override;
};
