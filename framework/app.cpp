// The application object, the program entry that drives it, message boxes,
// string loading and the one-message pump.
#include "kfw/app.h"
#include "system_library.h"

#include <cstring>

#include "kfw/path.h"
#include "kfw/wnd.h"

namespace {

CWinApp* g_theApp = nullptr;

// Appends the characters of `text` that fit whole; FALSE once one does not.
// A double-byte character is copied whole or not at all, and a lead byte
// without its trail byte not at all, so that the result never ends in half a
// character that would swallow the next one.
bool PutWholeCharacters(char* buffer, int capacity, int* used, const char* text) {
    for (const char* p = text; *p;) {
        const char* next = CharNextA(p);
        const int count = static_cast<int>(next - p);
        if (count == 1 && IsDBCSLeadByte(static_cast<BYTE>(*p))) {
            p = next;
            continue;
        }
        if (*used + count > capacity - 1) return false;
        for (int i = 0; i < count; ++i) buffer[(*used)++] = p[i];
        p = next;
    }
    return true;
}

// Replaces every "%1" / "%2" of `format` with the given texts, cut to fit.
void ReplacePlaceholders(char* buffer, int capacity, const char* format, const char* first,
                         const char* second) {
    if (capacity <= 0) return;
    int used = 0;
    for (const char* p = format; *p;) {
        if (p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
            const char* insert = p[1] == '1' ? first : second;
            if (insert && !PutWholeCharacters(buffer, capacity, &used, insert)) break;
            p += 2;
            continue;
        }
        const char* next = CharNextA(p);
        char character[3] = {};
        for (int i = 0; i < next - p && i < 2; ++i) character[i] = p[i];
        if (!PutWholeCharacters(buffer, capacity, &used, character)) break;
        p = next;
    }
    buffer[used] = '\0';
}

}  // namespace

CWinApp::CWinApp()
    : m_hInstance(GetModuleHandleA(nullptr)),
      m_pMainWnd(nullptr),
      m_pszAppName(m_appName),
      m_pszHelpFilePath(m_helpFilePath),
      m_pszHtmlHelpFilePath(m_htmlHelpFilePath),
      m_appName(),
      m_helpFilePath(),
      m_htmlHelpFilePath() {
    g_theApp = this;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return;  // names stay empty
    kfw::ProgramNameFromPath(path, m_appName, sizeof m_appName);
    kfw::ReplaceExtension(path, ".HLP", m_helpFilePath, sizeof m_helpFilePath);
    kfw::ReplaceExtension(path, ".CHM", m_htmlHelpFilePath, sizeof m_htmlHelpFilePath);
}

CWinApp::~CWinApp() {
    if (g_theApp == this) g_theApp = nullptr;
}

BOOL CWinApp::InitInstance() { return FALSE; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
    while (AfxPumpMessage()) {
    }
    return ExitInstance();
}

BOOL CWinApp::PreTranslateMessage(MSG* message) {
    HWND stop = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    for (HWND window = message->hwnd; window; window = GetParent(window)) {
        CWnd* wnd = CWnd::FromHandlePermanent(window);
        if (wnd && wnd->PreTranslateMessage(message)) return TRUE;
        if (window == stop) break;
    }
    return FALSE;
}

BOOL CWinApp::OnCommand(UINT id) {
    if (id == ID_HELP) {
        OnHelp();
        return TRUE;
    }
    return FALSE;
}

// The window in front (the main window's last active pop-up) and then its
// owners are asked for their context help in turn.
void CWinApp::OnHelp() {
    HWND main = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    if (!main) return;
    for (HWND window = GetLastActivePopup(main); window; window = GetParent(window)) {
        if (SendMessageA(window, WM_COMMANDHELP, 0, 0)) return;
    }
    WinHelp(0, HELP_FINDER);
}

void CWinApp::WinHelp(DWORD_PTR data, UINT command) {
    if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->WinHelp(data, command);
}

void CWinApp::EnableHtmlHelp() {
    if (m_htmlHelpFilePath[0] && kfw::WindowsWithoutWinHelp()) m_htmlHelp.Load();
}

BOOL CWinApp::CallHelpEngine(HWND owner, UINT command, DWORD_PTR data) {
    if (m_htmlHelp.Loaded()) return m_htmlHelp.Call(owner, m_htmlHelpFilePath, command, data);
    return ::WinHelpA(owner, m_helpFilePath, command, data);
}

void CWinApp::Enable3dControls() {
    // Windows 95 and NT 4.0 draw dialog controls in 3D themselves; what is
    // left to do is registering the common controls, in the form their
    // first comctl32 has.
    InitCommonControlsFromSystem();
}

CWinApp* AfxGetApp() { return g_theApp; }

CWnd* AfxGetMainWnd() { return g_theApp ? g_theApp->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() { return g_theApp ? g_theApp->m_hInstance : GetModuleHandleA(nullptr); }

int AfxMessageBox(const char* text, UINT type) {
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            type |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            type |= MB_ICONQUESTION;
            break;
        default:
            break;
        }
    }
    CWnd* main = AfxGetMainWnd();
    HWND owner = main && main->m_hWnd ? GetLastActivePopup(main->m_hWnd) : nullptr;
    const char* caption = g_theApp ? g_theApp->m_pszAppName : "";
    return MessageBoxA(owner, text, caption, type);
}

int AfxMessageBox(UINT textId, UINT type) {
    char text[1024];
    AfxLoadString(textId, text, sizeof text);
    return AfxMessageBox(text, type);
}

BOOL AfxLoadString(UINT id, char* buffer, int capacity) {
    if (capacity <= 0) return FALSE;
    buffer[0] = '\0';
    return LoadStringA(AfxGetInstanceHandle(), id, buffer, capacity) > 0;
}

void AfxFormatString1(char* buffer, int capacity, UINT id, const char* first) {
    AfxFormatString2(buffer, capacity, id, first, nullptr);
}

void AfxFormatString2(char* buffer, int capacity, UINT id, const char* first, const char* second) {
    char format[1024];
    AfxLoadString(id, format, sizeof format);
    ReplacePlaceholders(buffer, capacity, format, first, second);
}

BOOL AfxPumpMessage() {
    MSG message;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return FALSE;
    }
    if (got < 0) return FALSE;  // cannot happen without a window filter
    CWinApp* app = AfxGetApp();
    if (!app || !app->PreTranslateMessage(&message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return TRUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) return 0;
    app->m_hInstance = instance;
    if (!app->InitInstance()) {
        if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd) app->m_pMainWnd->DestroyWindow();
        return app->ExitInstance();
    }
    return app->Run();
}
