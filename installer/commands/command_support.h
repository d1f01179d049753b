// What the command units have in common: path arguments taken from the script
// line and expanded, and the beep-then-box way they tell the user of a failure.
#pragma once

#include <windows.h>

// The next argument of the current line; nullptr when the line has no more.
char* NextArgument();

// Expands a path argument into `out` (`size` bytes, a path buffer unless the
// command says more). A missing argument expands to an empty text. FALSE when
// the expanded text would not fit: such a path was cut short and must not be
// used to touch anything.
BOOL ExpandArgument(char* out, const char* argument, int size = MAX_PATH);

// Beeps with `beep` (an MB_ICON... sound), then shows `text` with the title
// Caption and `style` (buttons and icon), owned by `owner`. The button chosen.
int ShowCommandMessage(HWND owner, UINT beep, UINT style, const char* text);
