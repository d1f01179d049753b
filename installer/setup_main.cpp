// The program entry of Setup.exe; everything else is in setup_core.
#include <windows.h>

#include "library_search.h"
#include "main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything loads a DLL by name.
    LimitLibrarySearch();
    return RunSetup(instance, GetCommandLineA());
}
