// What the installer's units have in common: path arguments taken from the
// script line and expanded, and the meter's weights.
#pragma once

#include <windows.h>

// The next argument of the current line; nullptr when the line has no more.
char* NextArgument();

// The next argument of the current line, expanded into the path buffer `out`
// (a missing one expands to an empty text). FALSE when the expanded text would
// not fit: such a path was cut short and must not be used to touch anything.
BOOL ExpandNextArgument(char* out);

// Whether a source file that is missing counts as one already dealt with:
// in an uninstall run it is, since an earlier uninstall cut short may have
// removed it, and nothing such a run removed may stop a later one. In an
// install run a missing source is a fault of the distribution.
bool MissingSourceWasRemoved();

// Adds the weight that KeywordTable gives `keyword` to the meter's work done.
void AddKeywordWeight(int keyword);
