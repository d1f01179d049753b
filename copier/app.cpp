// The copier's application object: start-up, single instance, the copy dialog
// run modally, and the printer choice kept between runs.
#include "app.h"

#include "copy_dialog.h"
#include "resource.h"
#include "twain_session.h"

CCopierApp::CCopierApp() noexcept : m_hMutex(), m_pCopyDialog(nullptr) {}

CCopierApp::~CCopierApp() = default;

BOOL IsSupportedWindows(const OSVERSIONINFOA* version) {
    if (version->dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return TRUE;
    return version->dwPlatformId == VER_PLATFORM_WIN32_NT && version->dwMajorVersion >= 4;
}

namespace {

BOOL RunsOnSupportedWindows() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && IsSupportedWindows(&version);
}

void ShowUnsupportedWindows() {
    char text[512];
    char caption[64];
    AfxLoadString(IDS_WRONG_WINDOWS, text, sizeof text);
    AfxLoadString(IDS_PRODUCT_NAME, caption, sizeof caption);
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxA(nullptr, text, caption, MB_ICONHAND | MB_OK);
}

}  // namespace

// The installer recognises a running copier by this mutex, too.
BOOL CCopierApp::AnotherCopierRuns() {
    char name[64];
    AfxLoadString(IDS_MUTEX_NAME, name, sizeof name);
    KernelHandle existing(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name));
    return existing ? TRUE : FALSE;
}

// A failure to create the mutex is no reason not to run.
void CCopierApp::CreateInstanceMutex() {
    char name[64];
    AfxLoadString(IDS_MUTEX_NAME, name, sizeof name);
    m_hMutex.Reset(CreateMutexA(nullptr, FALSE, name));
}

BOOL CCopierApp::InitInstance() {
    Enable3dControls();
    EnableHtmlHelp();
    if (AnotherCopierRuns()) return FALSE;
    CreateInstanceMutex();
    if (!RunsOnSupportedWindows()) {
        ShowUnsupportedWindows();
        return FALSE;
    }
    RunCopyDialog();
    return FALSE;
}

void CCopierApp::RunCopyDialog() {
    CCopyDialog dialog;
    m_pMainWnd = &dialog;
    m_pCopyDialog = &dialog;
    LoadPrinterSelection();
    dialog.LoadSettings();
    dialog.DoModal();
    SavePrinterSelection();
    m_pCopyDialog = nullptr;
    m_pMainWnd = nullptr;
}

BOOL CCopierApp::PreTranslateMessage(MSG* message) {
    if (m_pCopyDialog && m_pCopyDialog->m_hWnd && m_pCopyDialog->m_pSession &&
        m_pCopyDialog->m_pSession->ProcessEvent(message, m_pCopyDialog->m_hWnd))
        return TRUE;
    return CWinApp::PreTranslateMessage(message);
}
