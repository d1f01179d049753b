// The progress meter: the progress dialog's lines and its bar.
#pragma once

#include <windows.h>

// Fills the progress dialog's three lines (IDC_PROGRESS_ACTION, _NAME and
// _DESCRIPTION) when it exists; nullptr texts empty their line.
void ShowProgressLines(HWND progressDialog, const char* action, const char* name,
                       const char* description);

// done × 100 / total, truncated, in 64 bits so that no 32-bit total overflows;
// at most 100, and 0 for a total of 0.
int MeterPercent(DWORD done, DWORD total);
// After each step: MeterPos from MeterDone, and the bar moved when it changed
// from `oldPosition`.
void UpdateMeter(int oldPosition);
