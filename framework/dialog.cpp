// Dialogs: creation from templates, the modal loop, OK/Cancel, context help
// and the centring that follows initialisation.
#include "kfw/dialog.h"

#include "kfw/app.h"
#include "system_library.h"

namespace {

// The common controls a template may name must be registered before the
// template is turned into windows. InitCommonControls registers all of them
// and is the one form that Windows 95's comctl32 has.
void RegisterCommonControls() {
    static bool registered = false;
    if (registered) return;
    InitCommonControlsFromSystem();
    registered = true;
}

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) noexcept
    : m_nIDHelp(templateId),
      m_pParentWnd(parent),
      m_bPlacedByInit(FALSE),
      m_nTemplateId(templateId),
      m_bContinueModal(FALSE),
      m_nModalResult(-1) {}

CDialog::~CDialog() {
    if (m_hWnd) DestroyWindow();
}

// Everything is handled in the window procedure that the framework installs;
// the dialog manager's procedure only passes on what that one leaves.
INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CDialog::CreateFromTemplate(HWND owner) {
    RegisterCommonControls();
    HookWindowCreate(this);
    HWND window = CreateDialogParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_nTemplateId), owner,
                                     &CDialog::DialogProc, 0);
    UnhookWindowCreate();
    return window != nullptr && m_hWnd == window;
}

BOOL CDialog::Create(CWnd* parent) {
    if (parent) m_pParentWnd = parent;
    m_bContinueModal = FALSE;
    return CreateFromTemplate(m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr);
}

HWND CDialog::ModalOwner() const {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner) {
        CWnd* main = AfxGetMainWnd();
        if (main && main != this) owner = main->m_hWnd;
    }
    return owner ? GetLastActivePopup(owner) : nullptr;
}

INT_PTR CDialog::DoModal() {
    HWND owner = ModalOwner();
    BOOL enableOwner = FALSE;
    if (owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        enableOwner = TRUE;
    }
    m_bContinueModal = TRUE;
    m_nModalResult = -1;
    if (CreateFromTemplate(owner)) {
        // OnInitDialog may already have ended the dialog.
        if (m_bContinueModal) RunModalLoop();
        if (m_hWnd)
            SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                         SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    m_bContinueModal = FALSE;
    // The owner is enabled again before the dialog goes, so that it is the
    // one that becomes active.
    if (enableOwner) EnableWindow(owner, TRUE);
    if (owner && GetActiveWindow() == m_hWnd) SetActiveWindow(owner);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::RunModalLoop() {
    if (!IsWindowVisible(m_hWnd)) ShowWindow(m_hWnd, SW_SHOWNORMAL);
    while (m_bContinueModal) {
        if (!AfxPumpMessage()) {
            m_nModalResult = -1;
            break;
        }
    }
}

void CDialog::EndDialog(int result) {
    if (!m_hWnd) return;
    if (m_bContinueModal) {
        m_nModalResult = result;
        m_bContinueModal = FALSE;
        // Wakes the modal loop should it be waiting for a message.
        PostMessageA(m_hWnd, WM_NULL, 0, 0);
    } else {
        ShowWindow(m_hWnd, SW_HIDE);
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return !exchange.Failed();
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* message) {
    if (!m_hWnd) return FALSE;
    const UINT m = message->message;
    if ((m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST))
        return IsDialogMessageA(m_hWnd, message);
    return FALSE;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) {
    RECT before;
    GetWindowRect(m_hWnd, &before);
    const DWORD styleBefore = static_cast<DWORD>(GetWindowLongA(m_hWnd, GWL_STYLE));
    const BOOL setFocus = OnInitDialog();
    CenterAfterInit(before, styleBefore);
    return setFocus;
}

// A dialog that its initialisation left where the template put it, still
// hidden and not a child, is centred (over its disabled owner, or on the
// screen); one that was moved, or that says it placed itself, keeps its place.
void CDialog::CenterAfterInit(const RECT& rectBefore, DWORD styleBefore) {
    if (!m_hWnd || m_bPlacedByInit || (styleBefore & WS_VISIBLE) || IsWindowVisible(m_hWnd)) return;
    if (GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD) return;
    RECT now;
    GetWindowRect(m_hWnd, &now);
    if (!EqualRect(&now, &rectBefore)) return;
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (owner && IsWindowEnabled(owner)) return;
    CenterWindow();
}

// F1: the standard help command goes to the main window, and from there to
// the application, unless a modifier key is held.
LRESULT CDialog::OnHelpInfo(WPARAM, LPARAM) {
    if (!(GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD)) {
        CWnd* main = AfxGetMainWnd();
        if (main && main->m_hWnd && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 &&
            GetKeyState(VK_MENU) >= 0) {
            main->SendMessage(WM_COMMAND, ID_HELP);
            return TRUE;
        }
    }
    return Default();
}

// The help context of a dialog is its template number above HID_BASE_RESOURCE.
LRESULT CDialog::OnCommandHelp(WPARAM, LPARAM lParam) {
    DWORD_PTR context = static_cast<DWORD_PTR>(lParam);
    if (context == 0 && m_nIDHelp != 0) context = HID_BASE_RESOURCE + m_nIDHelp;
    if (context == 0) return FALSE;
    CWinApp* app = AfxGetApp();
    if (app) app->WinHelp(context, HELP_CONTEXT);
    return TRUE;
}

// Commands that no handler of the dialog took go to the application.
LRESULT CDialog::OnUnhandledCommand(WPARAM wParam, LPARAM) {
    CWinApp* app = AfxGetApp();
    if (HIWORD(wParam) <= 1 && app && app->OnCommand(LOWORD(wParam))) return 0;
    return Default();
}
