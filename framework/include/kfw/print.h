// The common print dialog, the print settings a print job starts from, and
// safe readers of the platform's printer blocks (DEVNAMES, DEVMODE).
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstddef>

class CWnd;

// TRUE when a DEVNAMES block's three offsets lie past its header and inside
// the block, each at a text that ends inside the block.
BOOL DevNamesFitsBlock(const void* block, size_t blockSize);
// TRUE when a DEVMODE block holds the whole of dmSize + dmDriverExtra, and
// dmSize covers at least the fields every DEVMODE has had (68 bytes).
BOOL DevModeFitsBlock(const void* block, size_t blockSize);
BOOL DevNamesFits(HGLOBAL devNames);
BOOL DevModeFits(HGLOBAL devMode);

// The three names of a DEVNAMES block, copied out (bounded); FALSE when the
// block is missing or does not fit.
struct DevNamesText {
    char driver[MAX_PATH];
    char device[MAX_PATH];
    char output[MAX_PATH];
    WORD flags;  // wDefault
};
BOOL ReadDevNames(HGLOBAL devNames, DevNamesText* text);

// The common print dialog (PrintDlgA). The DEVNAMES and DEVMODE handles in
// m_pd are lent by the application's printer selection, not owned; the device
// context that a print dialog returns belongs to whoever asked for it.
class CPrintDialog {
public:
    static const DWORD kDefaultFlags =
        PD_ALLPAGES | PD_USEDEVMODECOPIES | PD_NOPAGENUMS | PD_HIDEPRINTTOFILE | PD_NOSELECTION;

    // Print-setup mode, or the print dialog that returns a device context.
    explicit CPrintDialog(BOOL printSetupOnly, DWORD flags = kDefaultFlags, CWnd* parent = nullptr) noexcept;
    virtual ~CPrintDialog() = default;
    CPrintDialog(const CPrintDialog&) = delete;
    CPrintDialog& operator=(const CPrintDialog&) = delete;

    // IDOK, IDCANCEL when the user cancelled, or -1 when the dialog failed
    // (GetExtendedError tells why).
    virtual INT_PTR DoModal();
    DWORD GetExtendedError() const { return m_dwExtendedError; }
    // The system's default printer into m_pd (which must hold no blocks).
    BOOL GetDefaults();
    // A device context for the printer of m_pd's blocks, kept in m_pd.hDC.
    HDC CreatePrinterDC();

    PRINTDLGA m_pd;

protected:
    DWORD m_dwExtendedError;
    CWnd* m_pParentWnd;
};

// The print settings of one print operation: the application's printer
// selection, or the one the user picks in the print dialog when there is
// none, and a device context for it, deleted with this object.
class CPrintInfo {
public:
    CPrintInfo() noexcept;
    ~CPrintInfo();
    CPrintInfo(const CPrintInfo&) = delete;
    CPrintInfo& operator=(const CPrintInfo&) = delete;

    // FALSE when no printer was chosen or no device context could be made.
    BOOL PreparePrinting();
    HDC GetPrinterDC() const { return m_dialog.m_pd.hDC; }
    // The printer's names from the selection in use; FALSE when none.
    BOOL GetDevNamesText(DevNamesText* text) const;

    CPrintDialog m_dialog;
};
