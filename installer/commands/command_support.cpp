// Argument handling, platform questions and failure messages shared by the
// installer's units.
#include "command_support.h"

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

BOOL QueryWindowsVersion(OSVERSIONINFOA* version) {
    ZeroMemory(version, sizeof *version);
    version->dwOSVersionInfoSize = sizeof *version;
    return GetVersionExA(version);
}
