// The system's own DLLs, loaded by full path; see system_library.h.
#include "system_library.h"

HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    char* end = path + length;
    // A root folder ("C:\") ends in a backslash already; a trail byte that
    // happens to be one does not count.
    const bool separated = CharPrevA(path, end) == end - 1 && end[-1] == '\\';
    const int room = MAX_PATH - static_cast<int>(length) - (separated ? 0 : 1);
    if (lstrlenA(name) >= room) return nullptr;
    if (!separated) *end++ = '\\';
    lstrcpyA(end, name);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC CommonControlsFunction(const char* name) {
    static HMODULE commonControls = nullptr;
    if (!commonControls) commonControls = LoadSystemLibrary("COMCTL32.DLL");
    return commonControls ? GetProcAddress(commonControls, name) : nullptr;
}

BOOL InitCommonControlsFromSystem() {
    const FARPROC init = CommonControlsFunction("InitCommonControls");
    if (!init) return FALSE;
    // GetProcAddress knows no signature; void(*)() is the neutral step between.
    reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void (*)()>(init))();
    return TRUE;
}
