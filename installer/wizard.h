// The wizard pages, the final pages and the progress meter.
#pragma once

#include <windows.h>

#include "resource.h"

// Fills the progress dialog's three lines (IDC_PROGRESS_ACTION, _NAME and
// _DESCRIPTION) when it exists; nullptr texts empty their line.
void ShowProgressLines(HWND progressDialog, const char* action, const char* name,
                       const char* description);

// The directives welcome, startmeter and endmeter (handler contract, script.h).
BOOL WelcomeDirective(HWND progressDialog);
BOOL StartMeterDirective(HWND progressDialog);
BOOL EndMeterDirective(HWND progressDialog);

// What a wizard page ends with.
enum PageResult { kPageNext = 0, kPageCancel = 1, kPageBack = 2 };
// Shows wizard page `pageId` modally over the main window.
int ShowPage(int pageId);
// Shows a final page modally: 1 for its first button (finish or restart), 0
// for Cancel or the close box.
int ShowFinalPage(int pageId);
// Moves a page or the progress dialog so that its centre lies on the centre
// of the main window's client area.
void CenterOverMainWindow(HWND page);

// done × 100 / total, truncated, in 64 bits so that no 32-bit total overflows;
// at most 100, and 0 for a total of 0.
int MeterPercent(DWORD done, DWORD total);
// After each step: MeterPos from MeterDone, and the bar moved when it changed
// from `oldPosition`.
void UpdateMeter(int oldPosition);
