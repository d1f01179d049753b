// Windows of the framework: a CWnd owns the window procedure of its window
// and hands each message to its message map, one handler per message or
// command; what no handler takes gets the window's default handling.
#pragma once

#include <windows.h>

// Message maps. Inside a class derived from CWnd:
//   BEGIN_MSG_MAP(CMyDialog)
//       ON_MESSAGE(WM_TIMER, OnTimer)      // LRESULT OnTimer(WPARAM, LPARAM)
//       ON_COMMAND(IDC_COPY, OnCopy)       // void OnCopy()
//   END_MSG_MAP(CDialog)                   // the base class's map comes next
#define BEGIN_MSG_MAP(theClass)                                                           \
    BOOL ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) \
        override {                                                                        \
        (void)wParam;                                                                     \
        (void)lParam;
#define ON_MESSAGE(msg, handler)              \
    if (message == (msg)) {                   \
        result = this->handler(wParam, lParam); \
        return TRUE;                          \
    }
// Buttons (BN_CLICKED), menus and accelerators; other notifications pass.
#define ON_COMMAND(id, handler)                                                      \
    if (message == WM_COMMAND && HIWORD(wParam) <= 1 && LOWORD(wParam) == (id)) { \
        this->handler();                                                         \
        result = 0;                                                              \
        return TRUE;                                                             \
    }
#define END_MSG_MAP(baseClass)                                               \
    return baseClass::ProcessWindowMessage(message, wParam, lParam, result); \
    }

class CWnd {
public:
    CWnd() noexcept;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The framework object of a window, or null for windows it does not own.
    static CWnd* FromHandlePermanent(HWND window);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL DestroyWindow();

    // Centres the window over its owner, or over the screen's work area when
    // it has none (or the owner is hidden or minimised), kept on that area.
    void CenterWindow(HWND alternateOwner = nullptr);

    // Opens the program's help file (the framework application's help path)
    // with a command of the help engine; a refusal is reported to the user.
    void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT);

    // Called for every message taken from the queue for this window or its
    // children before it is dispatched; TRUE when it was handled.
    virtual BOOL PreTranslateMessage(MSG* message);

    HWND m_hWnd;

protected:
    // The message map; answers TRUE with `result` set when a handler took the message.
    virtual BOOL ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default handling of the message now being handled.
    LRESULT Default();
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // After the window is gone (WM_NCDESTROY); the object is already detached.
    virtual void PostNcDestroy() {}

    // Windows made by the framework are taken over as they are created, so
    // that the map sees their very first messages.
    static void HookWindowCreate(CWnd* window);
    static void UnhookWindowCreate();

private:
    void Attach(HWND window);
    void Detach();
    static LRESULT CALLBACK StandardWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper;
    MSG m_currentMessage;
};
