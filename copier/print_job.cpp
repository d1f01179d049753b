// The print job: measuring the printer, and printing the held image at its
// physical size times the scale while a progress dialog offers Cancel.
#include "print_job.h"

#include "copy_dialog.h"
#include "dib.h"
#include "kfw/app.h"
#include "kfw/gdi.h"
#include "kfw/handles.h"
#include "kfw/print.h"
#include "print_geometry.h"
#include "trace.h"
#include "twain_session.h"

BOOL g_bUserAbort = FALSE;

SpoolerCalls g_spooler = {StartDocA, StartPage, EndPage, EndDoc, AbortDoc};

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

BOOL CALLBACK PrintAbortProc(HDC, int) {
    MSG message;
    while (!g_bUserAbort && PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        // Every message passes the application's pre-translation, so the
        // scanner session still sees its events while a page is spooled.
        if (!AfxPumpMessage()) return FALSE;
    }
    return !g_bUserAbort;
}

CPrintProgressDialog::CPrintProgressDialog(CWnd* parent) noexcept : CDialog(IDD_PRINT_PROGRESS, parent) {}

BOOL CPrintProgressDialog::OnInitDialog() {
    SetWindowTextA(m_hWnd, AfxGetApp()->m_pszAppName);
    CenterWindow();
    return CDialog::OnInitDialog();
}

void CPrintProgressDialog::OnCancel() {
    g_bUserAbort = TRUE;
    CDialog::OnCancel();
}

namespace {

// Fills the progress dialog's lines: the document, the printer, its port.
void ShowJobInProgressDialog(CPrintProgressDialog& progress, const char* documentName,
                             const DevNamesText& names) {
    SetDlgItemTextA(progress.m_hWnd, IDC_PROGRESS_DOCUMENT, documentName);
    SetDlgItemTextA(progress.m_hWnd, IDC_PROGRESS_PRINTER, names.device);
    char portLine[512];
    AfxFormatString1(portLine, sizeof portLine, IDS_PRINTING_TO_PORT, names.output);
    SetDlgItemTextA(progress.m_hWnd, IDC_PROGRESS_PORT, portLine);
}

// Sends the pages; FALSE when the job is to be aborted. `drawingFailed` tells
// whether the image itself could not be drawn. The page calls answer 0 or
// less for a failure (a driver may answer 0 without a spooler error code).
BOOL PrintPages(CCopyDialog& dialog, HDC printer, int pages, BOOL* drawingFailed) {
    for (int page = 0; page < pages; ++page) {
        if (g_spooler.startPage(printer) <= 0) return FALSE;
        if (!dialog.PrintImagePage(printer)) {
            *drawingFailed = TRUE;
            return FALSE;
        }
        if (g_spooler.endPage(printer) <= 0) return FALSE;
        if (!PrintAbortProc(printer, 0)) return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL CCopyDialog::PrintImage(int pages) {
    TraceEvent("print-start");
    m_nStatus = StatusPrinting;
    ShowStatusText();
    EnableControlsForStatus();
    m_bPrinting = TRUE;

    CPrintInfo settings;
    if (!settings.PreparePrinting()) {
        m_bPrinting = FALSE;
        return FALSE;
    }
    HDC printer = settings.GetPrinterDC();

    char documentName[256];
    AfxLoadString(IDS_DOCUMENT_NAME, documentName, sizeof documentName);
    DOCINFOA document = {};
    document.cbSize = sizeof document;
    document.lpszDocName = documentName;
    DevNamesText names = {};
    settings.GetDevNamesText(&names);

    SetAbortProc(printer, PrintAbortProc);
    CWnd* mainWindow = AfxGetMainWnd();
    HWND main = mainWindow ? mainWindow->m_hWnd : m_hWnd;
    EnableWindow(main, FALSE);

    CPrintProgressDialog progress(this);
    progress.Create(this);
    g_bUserAbort = FALSE;
    ShowJobInProgressDialog(progress, documentName, names);
    ShowWindow(progress.m_hWnd, SW_SHOW);
    UpdateWindow(progress.m_hWnd);

    // A job number is positive: 0 and every negative spooler code mean that
    // no document was begun. The spooler asks the abort procedure first, so a
    // Cancel pressed before it ends the job here, as silently as later on.
    if (g_spooler.startDoc(printer, &document) <= 0) {
        // The main window comes back first, so that it takes the focus when
        // the progress dialog goes.
        EnableWindow(main, TRUE);
        progress.DestroyWindow();
        if (g_bUserAbort)
            TraceEvent("doc-aborted");  // by the user, before its document began
        else
            AfxMessageBox(IDS_PRINT_NOT_STARTED, MB_OK);
        m_bPrinting = FALSE;
        return FALSE;
    }

    TraceEvent("doc-started");
    BOOL drawingFailed = FALSE;
    BOOL notEnded = FALSE;
    BOOL printed = PrintPages(*this, printer, pages, &drawingFailed);
    // A document the spooler could not close is taken away whole rather than
    // left half spooled, and the user is told that it did not print.
    if (printed && g_spooler.endDoc(printer) <= 0) {
        notEnded = !g_bUserAbort;
        printed = FALSE;
    }
    if (printed) {
        TraceEvent("doc-ended");
    } else {
        g_spooler.abortDoc(printer);
        TraceEvent("doc-aborted");
    }

    EnableWindow(main, TRUE);
    progress.DestroyWindow();
    m_bPrinting = FALSE;

    if (drawingFailed) {
        MessageBeep(MB_ICONEXCLAMATION);
        AfxMessageBox(IDS_PRINT_NO_MEMORY, MB_OK | MB_ICONHAND);
    } else if (notEnded) {
        AfxMessageBox(IDS_PRINT_NOT_STARTED, MB_OK);
    }
    return printed;
}

BOOL CCopyDialog::PrintImagePage(HDC printer) {
    // The resolution read when this image was handed over, not that of a
    // later scan which may have been cancelled after its transfer began.
    const LONG xDpm = m_nImageXRes, yDpm = m_nImageYRes;

    kfw::GlobalLockGuard<BYTE> image(m_hImage.Get());
    if (!image || !IsDibUsable(image.Get(), m_hImage.Size())) return FALSE;

    CPalette palette;
    HPALETTE handle = nullptr;
    if (CreatePaletteFromDib(image.Get(), &handle)) palette.Attach(handle);

    const PrinterMetrics printerMetrics = {GetDeviceCaps(printer, LOGPIXELSX), GetDeviceCaps(printer, LOGPIXELSY),
                                           GetDeviceCaps(printer, HORZRES), GetDeviceCaps(printer, VERTRES)};
    const PrintPlacement placement = ComputePrintPlacement(GetDibWidth(image.Get()), GetDibHeight(image.Get()),
                                                           xDpm, yDpm, printerMetrics, m_nScale);
    // A scale that leaves nothing to draw is a drawing failure: an empty
    // sheet is not a copy.
    if (placement.destWidth <= 0 || placement.destHeight <= 0) return FALSE;

    TraceEvent("draw-start");
    const BOOL drawn = DrawPlacedImage(printer, image.Get(), placement, static_cast<HPALETTE>(palette.GetSafeHandle()));
    TraceEvent("draw-end");
    return drawn;
}
