// Printing support: the common print dialog, the application's printer
// selection and the print settings of one operation.
#include "kfw/print.h"

#include <cderr.h>

#include <cstddef>
#include <cstring>

#include "kfw/app.h"
#include "kfw/path.h"
#include "kfw/wnd.h"

namespace {

// A text at `offset` that ends (NUL) before the block does.
bool TextFits(const BYTE* block, size_t blockSize, size_t offset) {
    if (offset < sizeof(DEVNAMES) || offset >= blockSize) return false;
    return std::memchr(block + offset, '\0', blockSize - offset) != nullptr;
}

// The smallest DEVMODE there ever was (through dmTTOption): drivers take the
// fields up to there as present whenever dmFields names them.
const size_t kSmallestDevMode = offsetof(DEVMODEA, dmTTOption) + sizeof(short);

bool SamePrinter(const DevNamesText& a, const DevNamesText& b) {
    return std::strcmp(a.driver, b.driver) == 0 && std::strcmp(a.device, b.device) == 0 &&
           std::strcmp(a.output, b.output) == 0;
}

}  // namespace

BOOL DevNamesFitsBlock(const void* block, size_t blockSize) {
    if (!block || blockSize < sizeof(DEVNAMES)) return FALSE;
    const auto* names = static_cast<const DEVNAMES*>(block);
    const auto* bytes = static_cast<const BYTE*>(block);
    return TextFits(bytes, blockSize, names->wDriverOffset) && TextFits(bytes, blockSize, names->wDeviceOffset) &&
           TextFits(bytes, blockSize, names->wOutputOffset);
}

BOOL DevModeFitsBlock(const void* block, size_t blockSize) {
    if (!block || blockSize < kSmallestDevMode) return FALSE;
    const auto* mode = static_cast<const DEVMODEA*>(block);
    if (mode->dmSize < kSmallestDevMode) return FALSE;
    return static_cast<size_t>(mode->dmSize) + mode->dmDriverExtra <= blockSize;
}

BOOL DevNamesFits(HGLOBAL devNames) {
    GlobalLockGuard<const BYTE> lock(devNames);
    return lock && DevNamesFitsBlock(lock.Get(), GlobalSize(devNames));
}

BOOL DevModeFits(HGLOBAL devMode) {
    GlobalLockGuard<const BYTE> lock(devMode);
    return lock && DevModeFitsBlock(lock.Get(), GlobalSize(devMode));
}

BOOL ReadDevNames(HGLOBAL devNames, DevNamesText* text) {
    GlobalLockGuard<const BYTE> lock(devNames);
    if (!lock || !DevNamesFitsBlock(lock.Get(), GlobalSize(devNames))) return FALSE;
    const auto* names = reinterpret_cast<const DEVNAMES*>(lock.Get());
    const auto* base = reinterpret_cast<const char*>(lock.Get());
    text->flags = names->wDefault;
    return kfw::CopyText(text->driver, sizeof text->driver, base + names->wDriverOffset) &&
           kfw::CopyText(text->device, sizeof text->device, base + names->wDeviceOffset) &&
           kfw::CopyText(text->output, sizeof text->output, base + names->wOutputOffset);
}

CPrintDialog::CPrintDialog(BOOL printSetupOnly, DWORD flags, CWnd* parent) noexcept
    : m_pd{}, m_dwExtendedError(0), m_pParentWnd(parent) {
    m_pd.lStructSize = sizeof m_pd;
    m_pd.Flags = flags | (printSetupOnly ? PD_PRINTSETUP : PD_RETURNDC);
    m_pd.nCopies = 1;
}

INT_PTR CPrintDialog::DoModal() {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner && AfxGetMainWnd()) owner = AfxGetMainWnd()->m_hWnd;
    m_pd.hwndOwner = owner ? GetLastActivePopup(owner) : nullptr;
    m_dwExtendedError = 0;
    if (PrintDlgA(&m_pd)) return IDOK;
    m_dwExtendedError = CommDlgExtendedError();
    return m_dwExtendedError == 0 ? IDCANCEL : -1;
}

BOOL CPrintDialog::GetDefaults() {
    m_pd.hDevMode = nullptr;
    m_pd.hDevNames = nullptr;
    const DWORD flags = m_pd.Flags;
    // The default printer only; no device context is asked for.
    m_pd.Flags = (flags | PD_RETURNDEFAULT) & ~(PD_RETURNDC | PD_RETURNIC);
    const BOOL found = PrintDlgA(&m_pd);
    m_pd.Flags = flags;
    m_dwExtendedError = found ? 0 : CommDlgExtendedError();
    return found && m_pd.hDevNames;
}

HDC CPrintDialog::CreatePrinterDC() {
    DevNamesText names;
    if (!ReadDevNames(m_pd.hDevNames, &names)) return nullptr;
    GlobalLockGuard<DEVMODEA> mode(m_pd.hDevMode);
    const DEVMODEA* devMode =
        mode && DevModeFitsBlock(mode.Get(), GlobalSize(m_pd.hDevMode)) ? mode.Get() : nullptr;
    if (m_pd.hDC) DeleteDC(m_pd.hDC);
    m_pd.hDC = CreateDCA(names.driver, names.device, names.output, devMode);
    return m_pd.hDC;
}

CPrintInfo::CPrintInfo() noexcept : m_dialog(FALSE, PD_ALLPAGES | PD_USEDEVMODECOPIES | PD_NOSELECTION) {}

CPrintInfo::~CPrintInfo() {
    if (m_dialog.m_pd.hDC) DeleteDC(m_dialog.m_pd.hDC);
}

BOOL CPrintInfo::PreparePrinting() {
    CWinApp* app = AfxGetApp();
    if (!app) return FALSE;
    if (!app->GetPrinterDeviceDefaults(&m_dialog.m_pd) && app->DoPrintDialog(&m_dialog) != IDOK) return FALSE;
    if (!m_dialog.m_pd.hDC && !m_dialog.CreatePrinterDC()) return FALSE;
    return TRUE;
}

BOOL CPrintInfo::GetDevNamesText(DevNamesText* text) const { return ReadDevNames(m_dialog.m_pd.hDevNames, text); }

// The application's printer selection.

void CWinApp::SelectPrinter(HGLOBAL devNames, HGLOBAL devMode) {
    m_hDevNames.Reset(devNames);
    m_hDevMode.Reset(devMode);
}

void CWinApp::UpdatePrinterSelection(BOOL forceDefaults) {
    if (forceDefaults || !m_hDevNames) {
        CPrintDialog defaults(TRUE);
        defaults.GetDefaults();
        SelectPrinter(defaults.m_pd.hDevNames, defaults.m_pd.hDevMode);
        return;
    }
    DevNamesText held;
    // A selection whose names cannot be read is not usable as it stands.
    if (!ReadDevNames(m_hDevNames.Get(), &held)) {
        UpdatePrinterSelection(TRUE);
        return;
    }
    if (!(held.flags & DN_DEFAULTPRN)) return;
    CPrintDialog defaults(TRUE);
    defaults.GetDefaults();
    GlobalMemory newNames(defaults.m_pd.hDevNames);
    GlobalMemory newMode(defaults.m_pd.hDevMode);
    DevNamesText current;
    if (!newNames || !ReadDevNames(newNames.Get(), &current)) {
        SelectPrinter(nullptr, nullptr);  // the default printer is gone
    } else if (!SamePrinter(held, current)) {
        SelectPrinter(newNames.Detach(), newMode.Detach());
    }
}

BOOL CWinApp::GetPrinterDeviceDefaults(PRINTDLGA* printDialog) {
    UpdatePrinterSelection(!m_hDevNames);
    if (!m_hDevNames) return FALSE;
    printDialog->hDevNames = m_hDevNames.Get();
    printDialog->hDevMode = m_hDevMode.Get();
    return TRUE;
}

INT_PTR CWinApp::DoPrintDialog(CPrintDialog* dialog) {
    UpdatePrinterSelection(FALSE);
    // The dialog may reallocate the blocks it is given; whatever it hands
    // back is the selection from then on.
    dialog->m_pd.hDevNames = m_hDevNames.Detach();
    dialog->m_pd.hDevMode = m_hDevMode.Detach();
    INT_PTR response = dialog->DoModal();
    bool retried = false;
    while (response != IDOK && response != IDCANCEL) {
        const DWORD error = dialog->GetExtendedError();
        const bool selectionRefused =
            error == PDERR_DNDMMISMATCH || error == PDERR_PRINTERNOTFOUND || error == PDERR_DEFAULTDIFFERENT;
        const bool hadSelection = dialog->m_pd.hDevNames || dialog->m_pd.hDevMode;
        if (!selectionRefused || retried || !hadSelection) break;
        // Without a selection the dialog cannot refuse it again: one retry.
        if (dialog->m_pd.hDevNames) GlobalFree(dialog->m_pd.hDevNames);
        if (dialog->m_pd.hDevMode) GlobalFree(dialog->m_pd.hDevMode);
        dialog->m_pd.hDevNames = nullptr;
        dialog->m_pd.hDevMode = nullptr;
        retried = true;
        response = dialog->DoModal();
    }
    SelectPrinter(dialog->m_pd.hDevNames, dialog->m_pd.hDevMode);
    return response;
}

void CWinApp::OnFilePrintSetup() {
    CPrintDialog setup(TRUE);
    DoPrintDialog(&setup);
}
