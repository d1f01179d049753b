// The programs' own entry point: what the C runtime's start-up did for them,
// done with KERNEL32 alone, so that they load where no C runtime DLL is
// installed (the first Windows 95 has none).
#include <windows.h>

#include <new>

#include "x87_precision.h"

extern "C" int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

// The constructor and destructor tables that the linker's default script
// builds: a -1 first (the count when known), the function pointers, a 0 last.
extern "C" void (*__CTOR_LIST__[])();
extern "C" void (*__DTOR_LIST__[])();

// `new (std::nothrow)` names this object; the C++ runtime that defined it is
// not linked.
namespace std {
const nothrow_t nothrow{};
}

namespace {

// Destructors of static objects, registered through atexit as they are
// constructed. The programs have a handful; a full table refuses more.
const int kMaxExitFunctions = 32;
void (*g_exitFunctions[kMaxExitFunctions])();
int g_exitFunctionCount = 0;

// Static constructors run from the end of the table towards its start, as
// the compiler's own start-up calls them.
void RunConstructors() {
    int count = 0;
    while (__CTOR_LIST__[count + 1]) ++count;
    for (int i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

// The reverse of construction: atexit functions last registered first, then
// the destructor table from its start.
void RunDestructors() {
    while (g_exitFunctionCount > 0) g_exitFunctions[--g_exitFunctionCount]();
    for (int i = 1; __DTOR_LIST__[i]; ++i) __DTOR_LIST__[i]();
}

// The command line after the program's own name and the blanks that follow
// it; the name may be quoted and then holds blanks of its own.
LPSTR ArgumentsOf(LPSTR commandLine) {
    char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') p = CharNextA(p);
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') p = CharNextA(p);
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// How the starting program asked the main window to be shown.
int ShowCommand() {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

extern "C" int atexit(void (*function)()) {
    if (g_exitFunctionCount == kMaxExitFunctions) return -1;
    g_exitFunctions[g_exitFunctionCount++] = function;
    return 0;
}

// A call through an abstract class's table: a fault of the program itself.
extern "C" void __cxa_pure_virtual() { FatalAppExitA(0, "pure virtual call"); }

extern "C" void WinMainCRTStartup() {
    runtime::UseDoublePrecision();
    RunConstructors();
    const int exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentsOf(GetCommandLineA()), ShowCommand());
    RunDestructors();
    ExitProcess(static_cast<UINT>(exitCode));
}
