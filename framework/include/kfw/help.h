// The compiled-HTML help engine (hhctrl.ocx), taken at run time: Windows 95
// and NT 4.0 may not have it, and Windows from Vista on has no WinHelp viewer
// to fall back on. Loaded from the system folder by its full path only, so a
// file of that name beside the program or in the current folder is never
// taken for it.
#pragma once

#include <windows.h>

namespace kfw {

class HtmlHelpEngine {
public:
    HtmlHelpEngine() = default;
    ~HtmlHelpEngine();
    HtmlHelpEngine(const HtmlHelpEngine&) = delete;
    HtmlHelpEngine& operator=(const HtmlHelpEngine&) = delete;

    // Loads the engine; false where it is missing or lacks HtmlHelpA.
    bool Load();
    bool Loaded() const { return m_htmlHelp != nullptr; }
    // The WinHelp command `command` with `data` for the compiled help file
    // `file`: HELP_CONTEXT as the topic of that context number, HELP_FINDER
    // as the contents, HELP_QUIT as closing every help window of the process.
    // FALSE when the engine refused.
    BOOL Call(HWND caller, const char* file, UINT command, DWORD_PTR data) const;

private:
    typedef HWND(WINAPI* HtmlHelpFunction)(HWND, LPCSTR, UINT, DWORD_PTR);
    HMODULE m_module = nullptr;
    HtmlHelpFunction m_htmlHelp = nullptr;
};

// Whether the running Windows is 6.0 (Vista) or later, where WinHelp is gone.
bool WindowsWithoutWinHelp();

}  // namespace kfw
