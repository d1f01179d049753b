// Windows, dialogs and message boxes of any process, seen from outside as a
// user sees them: their texts, a message box answered by its title, and
// whether a process showed any window at all.
#pragma once

#include <windows.h>

#include <string>

#include "wintest.h"

namespace wintest {

// A window's rectangle on the screen, and the primary monitor's work area.
RECT WindowRect(HWND window);
RECT WorkArea();

// Every text of a dialog's child windows, joined by "|", in the order of the
// children.
std::string ChildTexts(HWND dialog);

// Waits for the message box titled `title` in that process, presses `button`
// (IDOK, IDNO, ...), waits until it has gone and returns what it said, or a
// note that no such box came.
std::string AnswerMessageBox(const std::string& title, DWORD processId, int button, DWORD timeoutMs = 15000);

// The first visible message box of that process, whatever its title; null
// when none came in the time.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs = 10000);
// Answers a message box with its OK button and waits until it is gone.
bool AnswerMessageBox(HWND box);

// Waits until the process has ended, or the time is up: true when none of its
// windows was ever seen on screen meanwhile.
bool RanUnseen(Process& process, DWORD timeoutMs = 30000);

}  // namespace wintest
