// The copy dialog and the About box: commands, data exchange, status line,
// scanner session lifetime and the image hand-off from the scanner.
#include "copy_dialog.h"

#include <commctrl.h>

#include <new>

#include "copy_dialog_paint.h"
#include "dib.h"
#include "kfw/app.h"
#include "print_job.h"
#include "scan_plan.h"
#include "twain_session.h"

namespace {

const UINT_PTR kStatusTimer = 1;
const UINT kStatusPeriodMs = 500;
const int kMinScale = 25;
const int kMaxScale = 400;

// The buttons that only make sense while the copier is idle.
const int kCommandButtons[] = {IDC_COPY, IDC_PRINTER_SETUP, IDC_SELECT_SCANNER, IDOK};

// Copies a string resource into one of TWAIN's 34-byte text fields.
void LoadIdentityString(UINT id, TW_STR32 field) {
    AfxLoadString(id, field, sizeof(TW_STR32));
}

}  // namespace

CCopyDialog::CCopyDialog() noexcept
    : CDialog(IDD_COPY),
      m_nScale(100),
      m_nColorSelect(ScanModeText),
      m_nSpeedSelect(ScanSpeedFast),
      m_nUISelect(0),
      m_nXPos(-1),
      m_nYPos(-1),
      m_hIcon(LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_KOPIWA))),
      m_pSession(),
      m_hImage(),
      m_nImageXRes(0),
      m_nImageYRes(0),
      m_bCaptionActive(FALSE),
      m_bTrackPosition(FALSE),
      m_bPrinting(FALSE),
      m_nStatus(StatusNone) {}

CCopyDialog::~CCopyDialog() = default;

void CCopyDialog::DoDataExchange(CDataExchange* exchange) {
    DDX_Text(exchange, IDC_SCALE, m_nScale);
    DDV_MinMaxInt(exchange, m_nScale, kMinScale, kMaxScale);
    DDX_Radio(exchange, IDC_COLOR, m_nColorSelect);
    DDX_Radio(exchange, IDC_SPEED_FASTEST, m_nSpeedSelect);
    DDX_Radio(exchange, IDC_UI_AUTO, m_nUISelect);
}

BOOL CCopyDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    AddAboutToSystemMenu();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    EnableRecopy();
    SendDlgItemMessageA(m_hWnd, IDC_SCALE_SPIN, UDM_SETRANGE, 0, MAKELPARAM(kMaxScale, kMinScale));
    CreateSession();
    RestorePosition();
    SetTimer(m_hWnd, kStatusTimer, kStatusPeriodMs, nullptr);
    return TRUE;
}

void CCopyDialog::AddAboutToSystemMenu() {
    HMENU menu = GetSystemMenu(m_hWnd, FALSE);
    if (!menu) return;
    char text[128];
    if (AfxLoadString(IDS_ABOUT_MENU, text, sizeof text) && text[0]) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, ID_SYSMENU_ABOUT, text);
    }
    EnableMenuItem(menu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(menu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
}

// A stored position is used as it stands, even off the screen or at the
// template's own (0, 0); without one the framework centres the dialog after
// initialisation, and WM_MOVE records where it went.
void CCopyDialog::RestorePosition() {
    if (m_nXPos != -1 && m_nYPos != -1) {
        SetWindowPos(m_hWnd, nullptr, m_nXPos, m_nYPos, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        m_bPlacedByInit = TRUE;
    }
    RECT window;
    GetWindowRect(m_hWnd, &window);
    m_nXPos = window.left;
    m_nYPos = window.top;
    m_bTrackPosition = TRUE;
}

void CCopyDialog::EnableRecopy() { EnableWindow(GetDlgItem(IDC_RECOPY), m_hImage ? TRUE : FALSE); }

void CCopyDialog::CreateSession() {
    TW_IDENTITY identity{};
    identity.Id = 0;
    identity.Version.MajorNum = 1;
    identity.Version.MinorNum = 10;
    identity.Version.Language = TWLG_USA;
    identity.Version.Country = TWCY_USA;
    LoadIdentityString(IDS_VERSION, identity.Version.Info);
    identity.ProtocolMajor = 1;
    identity.ProtocolMinor = 6;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    LoadIdentityString(IDS_MAKER, identity.Manufacturer);
    LoadIdentityString(IDS_PRODUCT_NAME, identity.ProductFamily);
    LoadIdentityString(IDS_PRODUCT_NAME, identity.ProductName);
    m_pSession.reset(new (std::nothrow) CTwainSession);
    if (m_pSession) m_pSession->SetAppIdentity(identity, m_hWnd);
}

// Each step runs on its own state test, so one that fails does not keep the
// next from being tried.
void CCopyDialog::DestroySession() {
    if (!m_pSession) return;
    if (m_pSession->IsSourceEnabled()) m_pSession->DisableSource();
    if (m_pSession->IsSourceOpen()) m_pSession->CloseSource();
    if (m_pSession->IsSourceManagerOpen()) m_pSession->CloseSourceManager();
    m_pSession.reset();
}

void CCopyDialog::UpdateStatus() {
    CopyStatus status = StatusReady;
    if (m_bPrinting)
        status = StatusPrinting;
    else if (m_pSession && m_pSession->IsScanning())
        status = StatusScanning;
    if (status == m_nStatus) return;
    m_nStatus = status;
    ShowStatusText();
    EnableControlsForStatus();
}

void CCopyDialog::ShowStatusText() {
    UINT id = IDS_STATUS_READY;
    if (m_nStatus == StatusScanning) id = IDS_STATUS_SCANNING;
    if (m_nStatus == StatusPrinting) id = IDS_STATUS_PRINTING;
    char text[256];
    AfxLoadString(id, text, sizeof text);
    SetDlgItemTextA(m_hWnd, IDC_STATUS, text);
}

// Help, About, the scan choices and the scale stay usable in every status.
void CCopyDialog::EnableControlsForStatus() {
    const BOOL ready = m_nStatus == StatusReady;
    for (int id : kCommandButtons) EnableWindow(GetDlgItem(id), ready);
    EnableWindow(GetDlgItem(IDC_RECOPY), ready && m_hImage ? TRUE : FALSE);
}

LRESULT CCopyDialog::OnSysCommand(WPARAM wParam, LPARAM) {
    if ((wParam & 0xFFF0) == ID_SYSMENU_ABOUT) {
        OnAbout();
        return 0;
    }
    return Default();
}

LRESULT CCopyDialog::OnDestroy(WPARAM, LPARAM) {
    SaveSettings();
    KillTimer(m_hWnd, kStatusTimer);
    DestroySession();
    CWinApp* app = AfxGetApp();
    if (app) app->CallHelpEngine(m_hWnd, HELP_QUIT, 0);
    return Default();
}

void CCopyDialog::OnCopy() {
    if (!UpdateData(TRUE)) return;
    PrinterMetrics printer{};
    if (!GetPrinterMetrics(&printer)) return;
    m_nStatus = StatusScanning;
    ShowStatusText();
    EnableControlsForStatus();
    // From here on a failure shows nothing: the next status tick finds the
    // session not scanning and returns to ready.
    if (!m_pSession || !m_pSession->OpenSourceManager()) return;
    if (!m_pSession->OpenSource()) return;
    PrepareScan(*m_pSession, printer, m_nScale, m_nColorSelect, m_nSpeedSelect);
    m_pSession->Acquire(m_nUISelect != 0);
}

void CCopyDialog::OnSelectScanner() {
    if (!m_pSession || !m_pSession->OpenSourceManager()) return;
    m_pSession->SelectSource();
    m_pSession->CloseSourceManager();
}

// The scanner session sends each transferred image here, synchronously:
// wParam is a packed DIB in movable memory that the dialog now owns, or 0.
LRESULT CCopyDialog::OnImageArrived(WPARAM wParam, LPARAM) {
    HGLOBAL image = reinterpret_cast<HGLOBAL>(wParam);
    if (!image) return 0;
    if (!IsDibHandleUsable(image)) {
        // A block from the driver that is not a bitmap this program can read
        // is refused here, before it replaces the held image or reaches the
        // printer as garbage.
        GlobalFree(image);
        MessageBeep(MB_ICONEXCLAMATION);
        AfxMessageBox(IDS_IMAGE_UNUSABLE, MB_OK | MB_ICONHAND);
        return 0;
    }
    m_hImage.Reset(image);
    m_nImageXRes = 0;
    m_nImageYRes = 0;
    if (m_pSession) m_pSession->GetImageResolution(&m_nImageXRes, &m_nImageYRes);
    PrintImage(1);
    if (m_hImage) EnableWindow(GetDlgItem(IDC_RECOPY), TRUE);
    return 0;
}

void CCopyDialog::OnPrinterSetup() {
    CWinApp* app = AfxGetApp();
    if (app) app->OnFilePrintSetup();
}

// Prints at the scale last read (Copy, Exit, session end) or loaded; the
// scale edit is deliberately not read here.
void CCopyDialog::OnRecopy() {
    if (m_hImage) PrintImage(1);
}

void CCopyDialog::OnAbout() {
    CAboutDialog about(this);
    about.DoModal();
}

LRESULT CCopyDialog::OnMove(WPARAM, LPARAM) {
    const LRESULT result = Default();
    if (m_bTrackPosition && !IsIconic(m_hWnd)) {
        RECT window;
        GetWindowRect(m_hWnd, &window);
        m_nXPos = window.left;
        m_nYPos = window.top;
    }
    return result;
}

// Windows is ending: the settings are saved whatever the controls hold, even
// when reading them failed.
LRESULT CCopyDialog::OnEndSession(WPARAM, LPARAM) {
    UpdateData(TRUE);
    SaveSettings();
    return Default();
}

LRESULT CCopyDialog::OnTimer(WPARAM wParam, LPARAM) {
    if (wParam == kStatusTimer) UpdateStatus();
    return Default();
}

// Windows 95 and NT 4.0 draw flat title bars; there the dialog paints its own
// gradient over the system's after every frame paint.
LRESULT CCopyDialog::OnNcActivate(WPARAM wParam, LPARAM) {
    m_bCaptionActive = static_cast<BOOL>(wParam);
    const LRESULT result = Default();
    if (IsVersion40System()) PaintCaption(m_hWnd, m_bCaptionActive, m_hIcon);
    return result;
}

LRESULT CCopyDialog::OnNcPaint(WPARAM, LPARAM) {
    const LRESULT result = Default();
    if (IsVersion40System()) PaintCaption(m_hWnd, m_bCaptionActive, m_hIcon);
    return result;
}

LRESULT CCopyDialog::OnEraseBkgnd(WPARAM wParam, LPARAM) {
    PaintTiledBackground(m_hWnd, reinterpret_cast<HDC>(wParam), AfxGetInstanceHandle(), IDB_BACKGROUND_TILE,
                         IDC_SEPARATOR);
    return TRUE;
}

LRESULT CCopyDialog::OnPaint(WPARAM, LPARAM) {
    if (!IsIconic(m_hWnd)) return Default();
    PaintMinimizedIcon(m_hWnd, m_hIcon);
    return 0;
}

LRESULT CCopyDialog::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }

void CCopyDialog::OnHelpButton() { WinHelp(0, HELP_FINDER); }

CAboutDialog::CAboutDialog(CWnd* parent) noexcept : CDialog(IDD_ABOUT, parent), m_bitmap() {}

BOOL CAboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_bitmap.Reset(AfxLoadSysColorBitmap(AfxGetInstanceHandle(), IDB_ABOUT));
    HGDIOBJ previous = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageA(
        m_hWnd, IDC_ABOUT_BITMAP, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_bitmap.Get())));
    if (previous && previous != m_bitmap.Get()) DeleteObject(previous);
    return TRUE;
}
