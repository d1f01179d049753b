// The system's own DLLs, loaded from the system folder by their full paths.
// Both programs are started from wherever they were downloaded, the installer
// with an administrator's rights: a DLL of the same name beside them or in
// the current folder must never be loaded in place of the system's own.
#pragma once

#include <windows.h>

// Loads the system DLL `name` from the system folder by its full path, and
// has the DLLs it needs looked for there first too. Null when it cannot.
HMODULE LoadSystemLibrary(const char* name);

// A function of the system folder's COMCTL32.DLL, which stays loaded for the
// process's life once asked for (the controls' window procedures live in
// it); null when it cannot be had.
FARPROC CommonControlsFunction(const char* name);

// Registers the common controls from the system folder's COMCTL32.DLL;
// FALSE when that DLL or its function cannot be had.
BOOL InitCommonControlsFromSystem();

// `name` of `module` as a function of type `Function`; null when missing.
template <class Function>
Function FunctionOf(HMODULE module, const char* name) {
    // GetProcAddress knows no signature; void(*)() is the neutral step between.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(module ? GetProcAddress(module, name) : nullptr));
}

// A function that not every Windows has, of a system DLL the program
// imports (and so has loaded); null when this Windows lacks it.
template <class Function>
Function LoadedFunction(const char* module, const char* name) {
    return FunctionOf<Function>(GetModuleHandleA(module), name);
}
