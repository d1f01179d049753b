// The application object and the program entry that drives it.
#include "kfw/app.h"

namespace {
CWinApp* g_theApp = nullptr;
}

CWinApp::CWinApp() { g_theApp = this; }

CWinApp::~CWinApp() {
    if (g_theApp == this) g_theApp = nullptr;
}

BOOL CWinApp::InitInstance() { return FALSE; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() { return g_theApp; }

HINSTANCE AfxGetInstanceHandle() { return g_theApp ? g_theApp->m_hInstance : GetModuleHandleA(nullptr); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) return 0;
    app->m_hInstance = instance;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
