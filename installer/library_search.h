// Where the installer takes its DLLs from: the system folder only. It runs
// with an administrator's rights from wherever it was downloaded, so a DLL
// planted beside it, in the temporary folder or in the current folder must
// never be loaded in place of the system's own.
#pragma once

#include <windows.h>

#include "system_library.h"

// The first thing the program does: limits the search for DLLs to the system
// folder where Windows offers that (Windows 8 and later, 7 with its update),
// loads the DLLs the shell would otherwise look for beside the program from
// the system folder where it does not (Vista, 7 without the update, XP), and
// takes the current folder out of the search where Windows can. Windows 95,
// 98, NT 4.0 and 2000 are left as they are.
void LimitLibrarySearch();
