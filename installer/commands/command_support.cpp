// Argument handling and failure messages shared by the command units.
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

int ShowCommandMessage(HWND owner, UINT beep, UINT style, const char* text) {
    MessageBeep(beep);
    return MessageBoxA(owner, text, Caption, style);
}
