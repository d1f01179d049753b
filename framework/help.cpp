// The compiled-HTML help engine, loaded by its full path from the system
// folder when the program first asks for help in that form.
#include "kfw/help.h"

#include "kfw/app.h"
#include "system_library.h"

namespace kfw {

namespace {

// The engine's commands (htmlhelp.h); the header's import library is not
// linked, the function is taken by name.
const UINT kDisplayToc = 0x0001;
const UINT kHelpContext = 0x000F;
const UINT kCloseAll = 0x0012;

}  // namespace

HtmlHelpEngine::~HtmlHelpEngine() {
    if (m_module) FreeLibrary(m_module);
}

bool HtmlHelpEngine::Load() {
    if (m_htmlHelp) return true;
    m_module = LoadSystemLibrary("hhctrl.ocx");
    if (!m_module) return false;
    m_htmlHelp = FunctionOf<HtmlHelpFunction>(m_module, "HtmlHelpA");
    if (m_htmlHelp) return true;
    FreeLibrary(m_module);
    m_module = nullptr;
    return false;
}

BOOL HtmlHelpEngine::Call(HWND caller, const char* file, UINT command, DWORD_PTR data) const {
    if (!m_htmlHelp) return FALSE;
    switch (command) {
    case HELP_QUIT:
        m_htmlHelp(nullptr, nullptr, kCloseAll, 0);
        return TRUE;
    case HELP_CONTEXT: return m_htmlHelp(caller, file, kHelpContext, data) != nullptr;
    default: return m_htmlHelp(caller, file, kDisplayToc, 0) != nullptr;
    }
}

bool WindowsWithoutWinHelp() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           version.dwMajorVersion >= 6;
}

}  // namespace kfw
