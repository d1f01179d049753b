// Narrow-string helpers for paths in the system code page. Every step over the
// text is multibyte-aware, so the trail byte 0x5C of a double-byte character
// (as in "表") is never taken for a backslash.
#pragma once

#include <windows.h>

#include <cstddef>

namespace kfw {

// The last component of a path: the text after its last '\\', '/' or ':'.
const char* FindFileName(const char* path);

// The '.' that starts the last component's extension, or the terminating NUL
// when the component has none.
const char* FindExtension(const char* path);

// Copies at most `count` bytes of `source` (stopping at its end) into
// `destination` of `capacity` bytes, always terminated. FALSE when it did not
// fit; the destination then holds the empty string, never a cut-off text.
BOOL CopyText(char* destination, size_t capacity, const char* source, size_t count = static_cast<size_t>(-1));

// Appends `source` to the text in `destination`; FALSE (destination unchanged)
// when the whole would not fit.
BOOL AppendText(char* destination, size_t capacity, const char* source);

// The program's file name without its folder or extension ("Kopiwa").
BOOL ProgramNameFromPath(const char* path, char* name, size_t capacity);

// The path with its extension replaced by `extension` (appended when the file
// name has none): "C:\\A\\Kopiwa.exe" -> "C:\\A\\Kopiwa.HLP".
BOOL ReplaceExtension(const char* path, const char* extension, char* result, size_t capacity);

// A decimal integer as the framework's data exchange reads it: optional
// blanks, an optional sign, at least one digit, optional blanks, nothing else,
// and within the range of int.
BOOL ParseInteger(const char* text, int* value);

}  // namespace kfw
