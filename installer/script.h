// The setup script: its storage in the program file, the lexical rules, the
// keyword table, variable expansion and the step that runs one line.
#pragma once

#include <windows.h>

// A command's weight when it is the size of the file its first argument names.
constexpr DWORD FileSizeWeight = 99999999;

struct Keyword {
    const char* keyword;
    DWORD KeywordWeight;
};
// The 35 keywords in their fixed order, then an empty row.
extern const Keyword KeywordTable[36];
// Index of `token` in KeywordTable (case-insensitive), or -1.
int FindKeyword(const char* token);

// Separators of script lines.
extern const char kLineSeparators[];  // blank and tab

// The tokenizer. Given a text, starts there; given nullptr, continues where the
// previous call stopped. Cuts the text in place; returns nullptr at its end.
char* NextToken(char* text, const char* separators);

// Reads a number as the C library's atoi does; nullptr reads as 0.
int ReadNumber(const char* text);

// Expands %PRGDIR%, %DEFDIR%, %SYSDIR%, %WINDIR%, %TMPDIR% and %SRCDIR% into
// `output` (kPathSize bytes). Returns FALSE when the result did not fit; the
// output then holds what fitted, always terminated.
BOOL ExpandVariables(char* output, const char* input);

// Ends `path` at its last backslash (multibyte-aware); no backslash: empty.
void CutAtLastBackslash(char* path);

// The Program Files folder; one buffer that each call overwrites.
const char* GetProgramFilesDir();

// The script resource.
BOOL LoadScript();
// Copies line `n` (without CR bytes and the LF) into `buffer` of `size` bytes.
BOOL ReadScriptLine(int n, char* buffer, int size);
// Reads the next non-comment line into LineBuffer and advances ScriptLine.
BOOL ReadCommandLine();
// The name that the script's first "appname" line gives, or "Wendle".
void FindAppName(char* name, int size);

// One script step: the handler of WM_USER in the main window.
void RunScriptStep();

// The command handler contract: a handler takes the progress dialog (nullptr
// while none is open), pulls its own arguments with NextToken(nullptr,
// kLineSeparators), returns non-zero to go on and zero to stop the run, and
// adds its weight to MeterDone after its work.
typedef BOOL (*CommandHandler)(HWND progressDialog);
