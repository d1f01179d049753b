// The print job: measuring the printer, and printing the held image at its
// physical size times the scale while a progress dialog offers Cancel.
#include "print_job.h"

#include "copy_dialog.h"
#include "dib.h"
#include "kfw/app.h"
#include "kfw/gdi.h"
#include "handles.h"
#include "kfw/print.h"
#include "print_geometry.h"
#include "twain_session.h"

BOOL g_bUserAbort = FALSE;

SpoolerCalls g_spooler = {StartDocA, StartPage, EndPage, EndDoc, AbortDoc};

namespace {

// Dots per inch and the printable area of a printer device context.
PrinterMetrics MeasurePrinter(HDC printer) {
    return {GetDeviceCaps(printer, LOGPIXELSX), GetDeviceCaps(printer, LOGPIXELSY), GetDeviceCaps(printer, HORZRES),
            GetDeviceCaps(printer, VERTRES)};
}

}  // namespace

BOOL GetPrinterMetrics(PrinterMetrics* metrics) {
    CPrintInfo settings;
    if (!settings.PreparePrinting()) return FALSE;
    *metrics = MeasurePrinter(settings.GetPrinterDC());
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

// Shows the progress dialog with its lines: the document, the printer, its port.
void ShowJobInProgressDialog(CPrintProgressDialog& progress, const char* documentName, CPrintInfo& settings) {
    DevNamesText names = {};
    settings.GetDevNamesText(&names);
    SetDlgItemTextA(progress.m_hWnd, IDC_PROGRESS_DOCUMENT, documentName);
    SetDlgItemTextA(progress.m_hWnd, IDC_PROGRESS_PRINTER, names.device);
    char portLine[512];
    AfxFormatString1(portLine, sizeof portLine, IDS_PRINTING_TO_PORT, names.output);
    SetDlgItemTextA(progress.m_hWnd, IDC_PROGRESS_PORT, portLine);
    ShowWindow(progress.m_hWnd, SW_SHOW);
    UpdateWindow(progress.m_hWnd);
}

// While a job runs the main window waits behind the progress dialog. Every
// way out of the job takes the same three steps, in this order: the main
// window comes back first, so that it takes the focus when the progress
// dialog goes; then the dialog goes; then the copier is no longer printing,
// at the latest when the scope goes (a job that never began says so first).
class PrintJobScope {
public:
    PrintJobScope(CCopyDialog& dialog, CPrintProgressDialog& progress) : dialog_(dialog), progress_(progress) {
        CWnd* mainWindow = AfxGetMainWnd();
        main_ = mainWindow ? mainWindow->m_hWnd : dialog.m_hWnd;
        EnableWindow(main_, FALSE);
        progress.Create(&dialog);
        g_bUserAbort = FALSE;
    }
    ~PrintJobScope() { End(); }
    PrintJobScope(const PrintJobScope&) = delete;
    PrintJobScope& operator=(const PrintJobScope&) = delete;

    void CloseWindows() {
        if (closed_) return;
        closed_ = true;
        EnableWindow(main_, TRUE);
        progress_.DestroyWindow();
    }
    void End() {
        CloseWindows();
        dialog_.m_bPrinting = FALSE;
    }

private:
    CCopyDialog& dialog_;
    CPrintProgressDialog& progress_;
    HWND main_ = nullptr;
    bool closed_ = false;
};

// A job number is positive: 0 and every negative spooler code mean that no
// document was begun. The spooler asks the abort procedure first, so a Cancel
// pressed before it ends the job here, as silently as later on.
bool StartJob(HDC printer, const char* documentName) {
    DOCINFOA document = {};
    document.cbSize = sizeof document;
    document.lpszDocName = documentName;
    return g_spooler.startDoc(printer, &document) > 0;
}

enum JobEnd { kJobPrinted, kJobAborted, kJobNotEnded };

// Ends the document once its pages went, or takes it away. A document the
// spooler could not close is taken away whole rather than left half spooled,
// and the user is to be told that it did not print.
JobEnd FinishJob(HDC printer, BOOL pagesSent) {
    if (pagesSent && g_spooler.endDoc(printer) > 0) return kJobPrinted;
    g_spooler.abortDoc(printer);
    return pagesSent && !g_bUserAbort ? kJobNotEnded : kJobAborted;
}

void ReportJobFailure(BOOL drawingFailed, JobEnd end) {
    if (drawingFailed) {
        MessageBeep(MB_ICONEXCLAMATION);
        AfxMessageBox(IDS_PRINT_NO_MEMORY, MB_OK | MB_ICONHAND);
    } else if (end == kJobNotEnded) {
        AfxMessageBox(IDS_PRINT_NOT_STARTED, MB_OK);
    }
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
    SetAbortProc(printer, PrintAbortProc);

    CPrintProgressDialog progress(this);
    PrintJobScope job(*this, progress);
    ShowJobInProgressDialog(progress, documentName, settings);
    if (!StartJob(printer, documentName)) {
        job.CloseWindows();
        if (!g_bUserAbort) AfxMessageBox(IDS_PRINT_NOT_STARTED, MB_OK);
        return FALSE;
    }
    BOOL drawingFailed = FALSE;
    const JobEnd end = FinishJob(printer, PrintPages(*this, printer, pages, &drawingFailed));
    job.End();
    ReportJobFailure(drawingFailed, end);
    return end == kJobPrinted;
}

BOOL CCopyDialog::PrintImagePage(HDC printer) {
    // The resolution read when this image was handed over, not that of a
    // later scan which may have been cancelled after its transfer began.
    const LONG xDpm = m_nImageXRes, yDpm = m_nImageYRes;

    GlobalLockGuard<BYTE> image(m_hImage.Get());
    if (!image || !IsDibUsable(image.Get(), m_hImage.Size())) return FALSE;

    CPalette palette;
    HPALETTE handle = nullptr;
    if (CreatePaletteFromDib(image.Get(), &handle)) palette.Attach(handle);

    const PrinterMetrics printerMetrics = MeasurePrinter(printer);
    const PrintPlacement placement = ComputePrintPlacement(GetDibWidth(image.Get()), GetDibHeight(image.Get()),
                                                           xDpm, yDpm, printerMetrics, m_nScale);
    // A scale that leaves nothing to draw is a drawing failure: an empty
    // sheet is not a copy.
    if (placement.destWidth <= 0 || placement.destHeight <= 0) return FALSE;

    const BOOL drawn = DrawPlacedImage(printer, image.Get(), placement, static_cast<HPALETTE>(palette.GetSafeHandle()));
    return drawn;
}
