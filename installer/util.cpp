// The installer's helpers: text, paths and messages; see util.h.
#include "util.h"

#include <stdarg.h>

#include "handles.h"
#include "run_state.h"

int CharWidth(const char* p) { return (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') ? 2 : 1; }

BOOL AppendText(char* buffer, const char* text, int size, Overflow overflow) {
    int length = lstrlenA(buffer);
    if (!text) text = "";
    if (overflow == kRefuse && length + lstrlenA(text) > size - 1) return FALSE;
    for (const char* p = text; *p;) {
        const int width = CharWidth(p);
        if (length + width > size - 1) {
            buffer[length] = '\0';
            return FALSE;
        }
        for (int i = 0; i < width; ++i) buffer[length++] = *p++;
    }
    buffer[length] = '\0';
    return TRUE;
}

BOOL CopyText(char* buffer, const char* text, int size, Overflow overflow) {
    buffer[0] = '\0';
    return AppendText(buffer, text, size, overflow);
}

bool EndsWithBackslash(const char* text) {
    const int length = lstrlenA(text);
    return length > 0 && *CharPrevA(text, text + length) == '\\';
}

void StripTrailingBackslash(char* path) {
    if (EndsWithBackslash(path)) *CharPrevA(path, path + lstrlenA(path)) = '\0';
}

void CutAtLastBackslash(char* path) {
    // CharPrevA lands on character starts only, so the 0x5C trail byte of a
    // double-byte character is never taken for a backslash.
    char* p = path + lstrlenA(path);
    while (p > path) {
        p = CharPrevA(path, p);
        if (*p == '\\') {
            *p = '\0';
            return;
        }
    }
    *path = '\0';
}

bool StartsWithDrive(const char* path) {
    const char letter = path[0];
    return ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) && path[1] == ':';
}

bool IsVolumeRoot(const char* path) {
    if (StartsWithDrive(path)) return path[2] == '\0';
    if (path[0] != '\\' || path[1] != '\\') return false;
    int separators = 0;
    for (const char* p = path + 2; *p; p = CharNextA(p))
        if (*p == '\\') ++separators;
    return separators <= 1;
}

bool AppendPath(char* path, const char* text) { return AppendText(path, text, kPathSize, kRefuse) != FALSE; }

bool JoinPath(char* path, const char* folder, const char* name) {
    return CopyText(path, folder, kPathSize, kRefuse) && (EndsWithBackslash(path) || AppendPath(path, "\\")) &&
           AppendPath(path, name);
}

BOOL QueryWindowsVersion(OSVERSIONINFOA* version) {
    ZeroMemory(version, sizeof *version);
    version->dwOSVersionInfoSize = sizeof *version;
    return GetVersionExA(version);
}

DWORD WindowsPlatform() {
    OSVERSIONINFOA version;
    QueryWindowsVersion(&version);  // left zeroed when it fails
    return version.dwPlatformId;
}

bool WholePath(DWORD length) { return length > 0 && length < static_cast<DWORD>(kPathSize); }

bool OwnProgramPath(char* path) {
    const DWORD length = GetModuleFileNameA(nullptr, path, kPathSize);
    path[kPathSize - 1] = '\0';
    return WholePath(length);
}

bool ReadRegistryPath(HKEY root, const char* keyPath, REGSAM access, const char* valueName, char* path) {
    RegKey key;
    char data[kPathSize + 1];
    DWORD size = kPathSize;
    if (key.Open(root, keyPath, access) != ERROR_SUCCESS ||
        RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return false;
    data[size] = '\0';  // it may be stored without its terminator
    return CopyText(path, data, kPathSize, kRefuse) != FALSE;
}

bool FullPath(const char* path, char* full) {
    char* namePart = nullptr;
    return WholePath(GetFullPathNameA(path, kPathSize, full, &namePart));
}

bool ShortPath(const char* path, char* shortForm) { return WholePath(GetShortPathNameA(path, shortForm, kPathSize)); }

bool StartsWithFolder(const char* path, const char* folder) {
    char prefix[kPathSize];
    if (!JoinPath(prefix, folder, "")) return false;
    const int length = lstrlenA(prefix);
    if (lstrlenA(path) <= length) return false;
    // The folder's length must end a character of the path: half of a
    // double-byte character is never compared.
    const char* cut = path;
    while (cut < path + length) cut = CharNextA(cut);
    return cut == path + length &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, length, prefix, length) == CSTR_EQUAL;
}

int Message(HWND dialog, MessageKind kind, const char* format, ...) {
    const UINT style = kind & 0xFFFF;
    if (SilentMode && !(kind & kShownWhenSilent)) return (style & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    char text[kTextSize];  // wvsprintfA never writes more than 1024 bytes
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(text, format, arguments);
    va_end(arguments);
    MessageBeep((kind >> 16) & 0xFF);
    return MessageBoxA((kind & kOverMainWindow) || !dialog ? MainWindow : dialog, text,
                       (kind & kWaitingCaption) ? "動作中のアプリケーションの終了" : Caption, style);
}
