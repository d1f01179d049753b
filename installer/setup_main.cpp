// The program entry of Setup.exe; everything else is in setup_core.
#include <windows.h>

#include "main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunSetup(instance, GetCommandLineA()); }
