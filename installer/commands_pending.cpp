// TRANSITIONAL: stands in for the script's commands until their units are in
// installer/commands/, and is then deleted. Every handler takes its arguments
// and goes on; the shared routines do the least their callers need.
#include "commands/commands.h"

#include "script.h"

namespace {

BOOL SkipArguments(int count) {
    for (int i = 0; i < count; ++i) NextToken(nullptr, kLineSeparators);
    return TRUE;
}

}  // namespace

BOOL CopyCommand(HWND) { return SkipArguments(3); }
BOOL MoveCommand(HWND) { return SkipArguments(3); }
BOOL DelCommand(HWND) { return SkipArguments(2); }
BOOL MkdirCommand(HWND) { return SkipArguments(2); }
BOOL RmdirCommand(HWND) { return SkipArguments(2); }
BOOL RegCreateKeyCommand(HWND) { return SkipArguments(2); }
BOOL RegDeleteKeyCommand(HWND) { return SkipArguments(2); }
BOOL RegSetValueCommand(HWND) { return SkipArguments(5); }
BOOL RegDelValueCommand(HWND) { return SkipArguments(3); }
BOOL DdeStartCommand(HWND) { return TRUE; }
BOOL CreateGroupCommand(HWND) { return SkipArguments(1); }
BOOL DeleteGroupCommand(HWND) { return SkipArguments(1); }
BOOL AddIconCommand(HWND) { return SkipArguments(3); }
BOOL DeleteIconCommand(HWND) { return SkipArguments(2); }
BOOL ChkOsTypeCommand(HWND) { return SkipArguments(2); }
BOOL ChkOsVersionCommand(HWND) { return SkipArguments(2); }
BOOL MoveAtRebootCommand(HWND) { return SkipArguments(2); }
BOOL CleanupInstallCommand(HWND) { return SkipArguments(1); }
BOOL CleanupUninstallCommand(HWND) { return SkipArguments(2); }

const char* const OsNameTable[4] = {"Windows 3.1", "Windows 95", "Windows NT", "Windows 95またはWindows NT"};

BOOL GetFileInfo(const char* path, DWORD* attributes, FILETIME* creation, FILETIME* lastAccess,
                 FILETIME* lastWrite, DWORD* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    GetFileTime(file, creation, lastAccess, lastWrite);
    if (size) *size = GetFileSize(file, nullptr);
    CloseHandle(file);
    if (attributes) *attributes = GetFileAttributesA(path);
    return TRUE;
}

BOOL MakeDirectoryPath(const char*) { return TRUE; }
BOOL MoveByCopy(const char*, const char*) { return FALSE; }

void StripTrailingBackslash(char* path) {
    const int length = lstrlenA(path);
    if (length == 0) return;
    char* last = CharPrevA(path, path + length);
    if (*last == '\\') *last = '\0';
}

HKEY RootKeyNumber(int number) {
    switch (number) {
    case 0: return HKEY_CLASSES_ROOT;
    case 1: return HKEY_CURRENT_USER;
    case 2: return HKEY_LOCAL_MACHINE;
    case 3: return HKEY_USERS;
    }
    return nullptr;
}

BOOL GetProgramsFolder(char* folder) {
    folder[0] = '\0';
    return FALSE;
}
HRESULT CreateShortcut(const char*, const char*, const char*) { return E_NOTIMPL; }
BOOL ReplaceAtRestart(const char*, const char*) { return TRUE; }
const char* MakeTempFileName() { return ""; }
BOOL RestartWindows() { return FALSE; }
