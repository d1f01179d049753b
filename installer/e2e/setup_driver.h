// Driving Setup.exe from outside, as a user would: its program file, its
// main window, and a run cancelled at a page. Shared by the end-to-end tests
// of the installer.
#pragma once

#include <windows.h>

#include <string>

#include "wintest.h"

namespace setupdrive {

// Setup.exe in the distribution folder.
std::string SetupExe();

// The installer's backdrop window in that process, or nullptr.
HWND MainWindowOf(DWORD processId);

// Cancels the run at the page in front and confirms the abort message.
void CancelRun(wintest::Process& setup, HWND page, const std::string& caption);

}  // namespace setupdrive
