// Windows of the framework: taking over a window's procedure, the message
// map dispatch, default handling, centring and the help call.
#include "kfw/wnd.h"

#include "kfw/app.h"
#include "system_library.h"

namespace {

// The framework object of a window is kept in a window property.
const char kWndProperty[] = "kfw.CWnd";

// The object whose window is being created (single user-interface thread).
CWnd* g_pWndInit = nullptr;
HHOOK g_hCreationHook = nullptr;

using MonitorFromWindowProc = HMONITOR(WINAPI*)(HWND, DWORD);
using GetMonitorInfoProc = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);

// The work area of the monitor that `window` is on, or nearest to, when the
// system knows monitors. Windows 98 and 2000 brought them; Windows 95 and NT
// 4.0 would refuse to load a program that imported their functions, so they
// are looked up when needed.
bool MonitorWorkArea(HWND window, RECT* area) {
    const auto monitorFromWindow = LoadedFunction<MonitorFromWindowProc>("USER32.DLL", "MonitorFromWindow");
    const auto getMonitorInfo = LoadedFunction<GetMonitorInfoProc>("USER32.DLL", "GetMonitorInfoA");
    if (!monitorFromWindow || !getMonitorInfo) return false;
    HMONITOR monitor = monitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !getMonitorInfo(monitor, &info)) return false;
    *area = info.rcWork;
    return true;
}

// Where a window around `window` may lie: its monitor's work area (the
// screen less the taskbar and other desktop bars); on a system without
// monitors, the one screen's work area; failing that, the whole screen.
RECT WorkAreaAround(HWND window) {
    RECT area{};
    if (MonitorWorkArea(window, &area)) return area;
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return area;
    area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return area;
}

// A window's position along one axis, moved onto [low, high] as far as its
// size lets it; the low end wins when it is too large.
int KeepOnArea(int position, int size, LONG low, LONG high) {
    if (position + size > high) position = high - size;
    return position < low ? low : position;
}

// The top-level window that `window` is part of (itself when it is one).
// GetParent answers a top-level window's owner, so the walk stops at the
// first window that is not a child.
HWND TopLevelWindowOf(HWND window) {
    while (window && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)) {
        HWND parent = GetParent(window);
        if (!parent) break;
        window = parent;
    }
    return window;
}

}  // namespace

CWnd::CWnd() noexcept : m_hWnd(nullptr), m_pfnSuper(nullptr), m_currentMessage{} {}

CWnd::~CWnd() {
    if (m_hWnd) DestroyWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
    return window ? static_cast<CWnd*>(GetPropA(window, kWndProperty)) : nullptr;
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

void CWnd::Attach(HWND window) {
    m_hWnd = window;
    SetPropA(window, kWndProperty, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StandardWindowProc)));
}

void CWnd::Detach() {
    if (!m_hWnd) return;
    if (m_pfnSuper) SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    RemovePropA(m_hWnd, kWndProperty);
    m_hWnd = nullptr;
}

void CWnd::HookWindowCreate(CWnd* window) {
    g_pWndInit = window;
    if (!g_hCreationHook)
        g_hCreationHook = SetWindowsHookExA(WH_CBT, &CWnd::CreationHook, nullptr, GetCurrentThreadId());
}

void CWnd::UnhookWindowCreate() {
    g_pWndInit = nullptr;
    if (g_hCreationHook) UnhookWindowsHookEx(g_hCreationHook);
    g_hCreationHook = nullptr;
}

// The first window created after HookWindowCreate is the framework's: it is
// taken over before it receives WM_NCCREATE.
LRESULT CALLBACK CWnd::CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_pWndInit) {
        CWnd* window = g_pWndInit;
        g_pWndInit = nullptr;
        window->Attach(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(g_hCreationHook, code, wParam, lParam);
}

LRESULT CALLBACK CWnd::StandardWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = FromHandlePermanent(window);
    if (!wnd) return ::DefWindowProcA(window, message, wParam, lParam);
    // Kept for Default(); saved and restored because handlers send messages.
    const MSG outer = wnd->m_currentMessage;
    wnd->m_currentMessage.hwnd = window;
    wnd->m_currentMessage.message = message;
    wnd->m_currentMessage.wParam = wParam;
    wnd->m_currentMessage.lParam = lParam;
    LRESULT result = 0;
    if (message == WM_NCDESTROY) {
        result = wnd->Default();
        wnd->m_currentMessage = outer;
        wnd->Detach();
        wnd->PostNcDestroy();
        return result;
    }
    result = wnd->WindowProc(message, wParam, lParam);
    wnd->m_currentMessage = outer;
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (ProcessWindowMessage(message, wParam, lParam, result)) return result;
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::ProcessWindowMessage(UINT, WPARAM, LPARAM, LRESULT&) { return FALSE; }

LRESULT CWnd::Default() {
    return DefWindowProc(m_currentMessage.message, m_currentMessage.wParam, m_currentMessage.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

void CWnd::CenterWindow(HWND alternateOwner) {
    const LONG style = GetWindowLongA(m_hWnd, GWL_STYLE);
    HWND center = alternateOwner;
    if (!center) center = (style & WS_CHILD) ? GetParent(m_hWnd) : GetWindow(m_hWnd, GW_OWNER);

    RECT dialog;
    GetWindowRect(m_hWnd, &dialog);
    RECT area;
    RECT around;
    if (style & WS_CHILD) {
        // Children centre in their parent's client area (screen coordinates here).
        GetClientRect(center, &area);
        MapWindowPoints(center, nullptr, reinterpret_cast<POINT*>(&area), 2);
        around = area;
    } else {
        if (center) {
            const LONG centerStyle = GetWindowLongA(center, GWL_STYLE);
            if (!(centerStyle & WS_VISIBLE) || (centerStyle & WS_MINIMIZE)) center = nullptr;
        }
        // A dialog stays on its owner's monitor, or else on its own.
        area = WorkAreaAround(center ? center : m_hWnd);
        if (center) {
            GetWindowRect(center, &around);
        } else {
            around = area;
        }
    }

    const int width = dialog.right - dialog.left;
    const int height = dialog.bottom - dialog.top;
    int left = KeepOnArea((around.left + around.right) / 2 - width / 2, width, area.left, area.right);
    int top = KeepOnArea((around.top + around.bottom) / 2 - height / 2, height, area.top, area.bottom);
    if (style & WS_CHILD) {
        POINT corner{left, top};
        ScreenToClient(GetParent(m_hWnd), &corner);
        left = corner.x;
        top = corner.y;
    }
    SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::WinHelp(DWORD_PTR data, UINT command) {
    CWinApp* app = AfxGetApp();
    if (!app) return;
    // A help window must not come up while a menu or a mouse capture is
    // still running in this window or its dialog.
    SendMessage(WM_CANCELMODE);
    HWND top = TopLevelWindowOf(m_hWnd);
    if (top && top != m_hWnd) ::SendMessageA(top, WM_CANCELMODE, 0, 0);
    HWND capture = GetCapture();
    if (capture) ::SendMessageA(capture, WM_CANCELMODE, 0, 0);
    if (!app->CallHelpEngine(top ? top : m_hWnd, command, data)) AfxMessageBox(AFX_IDP_FAILED_TO_LAUNCH_HELP);
}
