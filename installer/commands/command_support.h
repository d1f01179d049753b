// What the installer's units have in common: path arguments taken from the
// script line and expanded, and the version question.
#pragma once

#include <windows.h>

// The next argument of the current line; nullptr when the line has no more.
char* NextArgument();

// Expands a path argument into `out` (`size` bytes, a path buffer unless the
// command says more). A missing argument expands to an empty text. FALSE when
// the expanded text would not fit: such a path was cut short and must not be
// used to touch anything.
BOOL ExpandArgument(char* out, const char* argument, int size = MAX_PATH);
// The next argument of the current line, expanded into the path buffer `out`.
BOOL ExpandNextArgument(char* out);

// Whether a source file that is missing counts as one already dealt with:
// in an uninstall run it is, since an earlier uninstall cut short may have
// removed it, and nothing such a run removed may stop a later one. In an
// install run a missing source is a fault of the distribution.
bool MissingSourceWasRemoved();

// Adds the weight that KeywordTable gives `keyword` to the meter's work done.
void AddKeywordWeight(int keyword);

// The running Windows' version; FALSE when the system does not say.
BOOL QueryWindowsVersion(OSVERSIONINFOA* version);
