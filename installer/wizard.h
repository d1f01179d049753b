// The wizard pages, the final pages and the progress meter.
#pragma once

#include <windows.h>

// Progress dialog lines that the commands fill in.
enum { IDC_PROGRESS_ACTION = 1025, IDC_PROGRESS_NAME = 1026, IDC_PROGRESS_DESCRIPTION = 1027 };

// Fills the progress dialog's three lines when it exists; nullptr texts empty
// their line.
void ShowProgressLines(HWND progressDialog, const char* action, const char* name,
                       const char* description);
