// The installer's DLL search: the system folder only; see library_search.h.
#include "library_search.h"

#include "util.h"

namespace {

// From the SDKs of Windows 8 and Vista; the headers of older ones lack them.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryProc = BOOL(WINAPI*)(LPCSTR);

// The DLLs that the shell-link object, COM and the window code load by name
// on the program's behalf. Loaded from the system folder first, a later
// load by name finds them already there.
const char* const kShellLibraries[] = {
    "UXTHEME.DLL", "DWMAPI.DLL",  "CRYPTBASE.DLL", "PROPSYS.DLL", "VERSION.DLL",  "USERENV.DLL",
    "PROFAPI.DLL", "APPHELP.DLL", "CLBCATQ.DLL",   "NTMARTA.DLL", "SSPICLI.DLL", "OLEACC.DLL",
};

void PreloadShellLibraries() {
    for (const char* name : kShellLibraries) LoadSystemLibrary(name);
}

}  // namespace

void LimitLibrarySearch() {
    OSVERSIONINFOA version;
    if (!QueryWindowsVersion(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return;
    const DWORD release = version.dwMajorVersion * 100 + version.dwMinorVersion;
    if (release < 501) return;  // NT 4.0 and 2000: as they are
    const auto setDefault = LoadedFunction<SetDefaultDllDirectoriesProc>("KERNEL32.DLL", "SetDefaultDllDirectories");
    // Vista's shell-link object fails when the search is limited, so Vista
    // (and every Windows without the call) has the shell's DLLs loaded from
    // the system folder before anything asks for them by name.
    if (!setDefault || release == 600 || !setDefault(kSearchSystem32)) PreloadShellLibraries();
    const auto setDirectory = LoadedFunction<SetDllDirectoryProc>("KERNEL32.DLL", "SetDllDirectoryA");
    if (setDirectory) setDirectory("");
}
