// Driving Setup.exe from outside, as a user would: its program file, its
// pages and message boxes found by their titles, and the file system it
// works on. Shared by the end-to-end tests of the installer.
#pragma once

#include <windows.h>

#include <string>

#include "wintest.h"

namespace setupdrive {

// Setup.exe in the distribution folder.
std::string SetupExe();
// The temporary folder, ending in a backslash.
std::string TempFolder();

bool Exists(const std::string& path);
// Creates every folder of `path` that is missing.
void MakeFolders(const std::string& path);

// The installer's backdrop window in that process, or nullptr.
HWND MainWindowOf(DWORD processId);

// Presses `button` on the message box titled `title` and returns its text.
std::string Answer(const std::string& title, DWORD processId, int button);

// Cancels the run at the page in front and confirms the abort message.
void CancelRun(wintest::Process& setup, HWND page, const std::string& caption);

}  // namespace setupdrive
