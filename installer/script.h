// The setup script: its storage in the program file, the lexical rules, the
// keyword table, variable expansion and the step that runs one line.
#pragma once

#include <windows.h>

// The command handler contract: a handler takes the progress dialog (nullptr
// while none is open), pulls its own arguments with NextToken(nullptr,
// kLineSeparators), returns non-zero to go on and zero to stop the run, and
// adds its weight to MeterDone after its work.
typedef BOOL (*CommandHandler)(HWND progressDialog);

// A command's weight when it is the size of the file its first argument names.
constexpr DWORD FileSizeWeight = 99999999;

// Positions in KeywordTable.
enum KeywordIndex {
    kAppName, kDefaultDirFromReg, kDefaultDirChk, kWelcome, kChkClassExec,
    kStartInstall, kEndInstall, kStartUninstall, kEndUninstall, kStartMeter,
    kEndMeter, kCopy, kMove, kDel, kMkdir,
    kRmdir, kRegCreateKey, kRegDeleteKey, kRegSetValue, kEnd,
    kDdeStart, kCreateGroup, kDeleteGroup, kAddIcon, kDeleteIcon,
    kCleanupInstall, kCleanupUninstall, kChkOsType, kChkOsVersion, kIf95,
    kEndIf95, kIfNt, kEndIfNt, kMoveAtReboot, kRegDelValue,
    kKeywordCount
};

struct Keyword {
    const char* keyword;
    DWORD KeywordWeight;
    // What the step calls when the line runs; nullptr for the markers, "end"
    // and "appname", which the step and the start-up handle themselves.
    CommandHandler handler;
};
// The 35 keywords in their fixed order, then an empty row.
extern const Keyword KeywordTable[kKeywordCount + 1];
// Index of `token` in KeywordTable (case-insensitive), or -1.
int FindKeyword(const char* token);

// A block marker (startinstall ... endifnt): the RunState flag it sets or
// clears, whatever the section and platform.
struct Marker {
    int keyword;
    BOOL* flag;
    BOOL value;
};
// The marker that `keyword` is, or nullptr.
const Marker* FindMarker(int keyword);

// Separators of script lines.
extern const char kLineSeparators[];  // blank and tab

// The tokenizer. Given a text, starts there; given nullptr, continues where the
// previous call stopped. Cuts the text in place; returns nullptr at its end.
// The handlers read the current line this way.
char* NextToken(char* text, const char* separators);

// The same rules over a text of the caller's own, with a cursor of its own: a
// line read into a local buffer is cut this way, so that NextToken's cursor
// never points into a buffer that has gone.
class LineTokens {
public:
    explicit LineTokens(char* text) : cursor_(text) {}
    char* Next(const char* separators);

private:
    char* cursor_;
};

// Reads a number as the C library's atoi does; nullptr reads as 0.
int ReadNumber(const char* text);

// A folder that Windows could not give within the path buffer, by its name as
// the user knows it. Windows may answer a folder too long for the buffer with
// its length or with a failure, so the two are not told apart.
struct UnavailableFolder {
    const char* name = nullptr;
};

// Expands %PRGDIR%, %DEFDIR%, %SYSDIR%, %WINDIR%, %TMPDIR% and %SRCDIR% into
// `output` (`size` bytes, the path buffer's unless a command says more).
// Returns FALSE when the result did not fit, or when a folder could not be
// given (then named in `unavailable`, if given); the output then holds what
// fitted, always terminated. A nullptr input expands to an empty text.
BOOL ExpandVariables(char* output, const char* input, int size = MAX_PATH,
                     UnavailableFolder* unavailable = nullptr);

// The root of the drive that holds Windows ("C:\\") into `root` (4 bytes);
// FALSE, with the reason in `unavailable`, when Windows does not give it.
BOOL GetWindowsDriveRoot(char* root, UnavailableFolder* unavailable);

// The Program Files folder; one buffer that each call overwrites. Empty when
// neither the registry nor the Windows drive gives it.
const char* GetProgramFilesDir();

// The script resource of the program file; FALSE when there is none.
BOOL LoadScript();
// Makes `size` bytes at `text` the script (the resource, or a test's text) and
// counts its lines. The text ends at its first 0x1A byte or after `size`
// bytes; a last line without a line break still counts as a line.
void UseScriptText(const char* text, DWORD size);
// Copies line `n` without its CR bytes and the LF into `buffer` of `size`
// bytes. FALSE when there is no such line, or when the line did not fit: the
// buffer then holds its first whole characters.
BOOL ReadScriptLine(int n, char* buffer, int size);

enum LineRead { kLineRead, kLineTooLong, kNoMoreLines };
// Reads the next non-comment line into LineBuffer and advances ScriptLine.
LineRead ReadCommandLine();

// The name that the script's first "appname" line gives, or INSTALLER_NAME.
void FindAppName(char* name, int size);

// Tells the user that line `lineNumber` (counted from 1) of the script is too
// long to be run; shown in a silent run too.
void ReportLineTooLong(int lineNumber);
// Tells the user why an expansion on line `lineNumber` failed: the folder that
// Windows could not give when `unavailable` names one, otherwise the line.
void ReportExpansionFailure(int lineNumber, const UnavailableFolder& unavailable);

// One script step: the handler of WM_USER in the main window.
void RunScriptStep();
