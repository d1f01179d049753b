// Argument handling, platform questions and failure messages shared by the
// installer's units.
#include "command_support.h"

#include <stdarg.h>

#include "run_state.h"
#include "script.h"

char* NextArgument() { return NextToken(nullptr, kLineSeparators); }

BOOL ExpandArgument(char* out, const char* argument, int size) {
    if (!argument) {
        out[0] = '\0';
        return TRUE;
    }
    return ExpandVariables(out, argument, size);
}

bool MissingSourceWasRemoved() { return !InstallMode; }

void AddKeywordWeight(int keyword) { MeterDone += KeywordTable[keyword].KeywordWeight; }

BOOL ExpandNextArgument(char* out) { return ExpandArgument(out, NextArgument()); }

bool StartsWithDrive(const char* path) {
    const char letter = path[0];
    return ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) && path[1] == ':';
}

BOOL QueryWindowsVersion(OSVERSIONINFOA* version) {
    ZeroMemory(version, sizeof *version);
    version->dwOSVersionInfoSize = sizeof *version;
    return GetVersionExA(version);
}

int ShowMessage(HWND owner, const char* caption, UINT beep, UINT style, const char* format, ...) {
    char text[kTextSize];  // wvsprintfA never writes more than 1024 bytes
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(text, format, arguments);
    va_end(arguments);
    MessageBeep(beep);
    return MessageBoxA(owner, text, caption, style);
}
