// The setup script: where its text comes from, its lexical rules, keyword
// table and variable expansion, and the step that runs one line per posted
// message up to the end of the run.
#include "script.h"

#include <climits>

#include "commands/commands.h"
#include "commands/routines.h"
#include "meter.h"
#include "resource.h"
#include "run_folder.h"
#include "run_state.h"
#include "handles.h"
#include "util.h"
#include "wizard.h"

namespace {

// The meter's weight of every command that takes about the same time
// whatever its arguments.
constexpr DWORD kFixedWeight = 1024;

}  // namespace

const Keyword KeywordTable[kKeywordCount + 1] = {
    {"appname", 0, nullptr},
    {"defaultdirfromreg", 0, DefaultDirFromRegDirective},
    {"defaultdirchk", 0, DefaultDirChkDirective},
    {"welcome", 0, WelcomeDirective},
    {"chkclassexec", 0, ChkClassExecDirective},
    {"startinstall", 0, nullptr},
    {"endinstall", 0, nullptr},
    {"startuninstall", 0, nullptr},
    {"enduninstall", 0, nullptr},
    {"startmeter", 0, StartMeterDirective},
    {"endmeter", 0, EndMeterDirective},
    {"copy", FileSizeWeight, CopyCommand},
    {"move", FileSizeWeight, MoveCommand},
    {"del", kFixedWeight, DelCommand},
    {"mkdir", kFixedWeight, MkdirCommand},
    {"rmdir", kFixedWeight, RmdirCommand},
    {"regcreatekey", kFixedWeight, RegCreateKeyCommand},
    {"regdeletekey", kFixedWeight, RegDeleteKeyCommand},
    {"regsetvalue", kFixedWeight, RegSetValueCommand},
    {"end", 0, nullptr},
    {"ddestart", 0, DdeStartCommand},
    {"creategroup", kFixedWeight, CreateGroupCommand},
    {"deletegroup", kFixedWeight, DeleteGroupCommand},
    {"addicon", kFixedWeight, AddIconCommand},
    {"deleteicon", kFixedWeight, DeleteIconCommand},
    {"cleanupinstall", 0, CleanupInstallCommand},
    {"cleanupuninstall", 0, CleanupUninstallCommand},
    {"chkostype", 0, ChkOsTypeCommand},
    {"chkosversion", 0, ChkOsVersionCommand},
    {"if95", 0, nullptr},
    {"endif95", 0, nullptr},
    {"ifnt", 0, nullptr},
    {"endifnt", 0, nullptr},
    {"moveatreboot", 0, MoveAtRebootCommand},
    {"regdelvalue", kFixedWeight, RegDelValueCommand},
    {nullptr, 0, nullptr},
};

const char kLineSeparators[] = " \t";

int FindKeyword(const char* token) {
    if (!token) return -1;
    for (int i = 0; KeywordTable[i].keyword; ++i)
        if (lstrcmpiA(token, KeywordTable[i].keyword) == 0) return i;
    return -1;
}

// ---------------------------------------------------------------------------
// Lexical rules

namespace {

char* g_tokenCursor = nullptr;

bool IsSeparator(char c, const char* separators) {
    for (const char* s = separators; *s; ++s)
        if (*s == c) return true;
    return false;
}

// The token at or after `p`; `*cursor` is left where the next one starts.
char* CutToken(char* p, char** cursor, const char* separators) {
    if (!p) return nullptr;
    while (*p && IsSeparator(*p, separators)) p += CharWidth(p);
    if (!*p) {
        *cursor = p;
        return nullptr;
    }
    char* token;
    if (*p == '"') {
        // Runs to the next quote that is not doubled; a doubled quote stands
        // for one quote of the token (a stored command line quotes its
        // program), so the token is moved together over the second one.
        token = p + 1;
        p = token;
        char* end = token;
        while (*p && (*p != '"' || p[1] == '"')) {
            const int width = *p == '"' ? 2 : CharWidth(p);
            *end++ = *p;
            if (width == 2 && *p != '"') *end++ = p[1];
            p += width;
        }
        if (end != p) *end = '\0';
    } else {
        token = p;
        while (*p && !IsSeparator(*p, separators)) p += CharWidth(p);
    }
    if (*p) {
        // The closing quote or the separator ends the token; the next one
        // starts right after it.
        *p = '\0';
        *cursor = p + 1;
    } else {
        *cursor = p;
    }
    return token;
}

}  // namespace

char* NextToken(char* text, const char* separators) {
    return CutToken(text ? text : g_tokenCursor, &g_tokenCursor, separators);
}

char* LineTokens::Next(const char* separators) { return CutToken(cursor_, &cursor_, separators); }

int ReadNumber(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Unsigned arithmetic wraps where signed arithmetic would be undefined:
    // -2147483648 reads as itself, longer numbers wrap.
    unsigned int value = 0;
    while (*p >= '0' && *p <= '9') value = value * 10 + static_cast<unsigned>(*p++ - '0');
    if (negative) value = 0u - value;
    return value <= INT_MAX ? static_cast<int>(value) : static_cast<int>(value - INT_MAX - 1) + INT_MIN;
}

const char* GetProgramFilesDir() {
    static char dir[kPathSize];
    OSVERSIONINFOA version;
    if (QueryWindowsVersion(&version) && (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ||
                  (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 4)) &&
        ReadRegistryPath(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_READ,
                         "ProgramFilesDir", dir) &&
        dir[0])
        return dir;
    UnavailableFolder unavailable;
    if (GetWindowsDriveRoot(dir, &unavailable)) lstrcatA(dir, "Program Files");
    return dir;
}

BOOL GetWindowsDriveRoot(char* root, UnavailableFolder* unavailable) {
    char windows[kPathSize];
    // A failed call leaves the buffer as it was: nothing of it may be read.
    if (!WholePath(GetWindowsDirectoryA(windows, sizeof windows)) || windows[1] != ':') {
        unavailable->name = "Windowsフォルダ";
        root[0] = '\0';
        return FALSE;
    }
    root[0] = windows[0];
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
    return TRUE;
}

namespace {

// Whether `text` starts with `name` (ASCII) in any case. Stops at the
// terminator, so that a short text is never read past its end; a lead byte
// never equals an ASCII letter, so no trail byte is compared.
bool StartsWithNoCase(const char* text, const char* name) {
    for (; *name; ++text, ++name) {
        char c = *text;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != *name) return false;
    }
    return true;
}

enum Lookup { kNoVariable, kValue, kNoValue };

// A variable's lookup: its folder, in `scratch` (kPathSize bytes) or one the
// program keeps; nullptr when the platform did not give it whole, which a
// shorter path in its place must not hide.
using FolderLookup = const char* (*)(char* scratch);

const char* Whole(DWORD length, char* scratch) { return WholePath(length) ? scratch : nullptr; }

// The folder part of `path`, when the path is whole.
const char* FolderPart(bool whole, char* path) {
    if (!whole) return nullptr;
    CutAtLastBackslash(path);
    return path;
}

const char* ProgramFilesFolder(char*) {
    const char* folder = GetProgramFilesDir();
    return folder[0] ? folder : nullptr;
}

const char* InstallFolder(char*) { return DefaultDir; }

const char* SystemFolder(char* scratch) { return Whole(GetSystemDirectoryA(scratch, kPathSize), scratch); }

const char* WindowsFolder(char* scratch) { return Whole(GetWindowsDirectoryA(scratch, kPathSize), scratch); }

// An uninstall run's temporary files go into a new folder of its own: the
// shared temporary folder is open to every user.
const char* TemporaryFolder(char* scratch) {
    if (!InstallMode) return RunFolder(scratch) ? scratch : nullptr;
    return FolderPart(WholePath(GetTempPathA(kPathSize, scratch)), scratch);
}

const char* SetupFolder(char* scratch) { return FolderPart(OwnProgramPath(scratch), scratch); }

struct Variable {
    const char* name;    // between its two percent signs
    const char* folder;  // as the user knows it
    FolderLookup lookup;
};
const Variable kVariables[] = {
    {"PRGDIR", "Program Filesフォルダ", ProgramFilesFolder}, {"DEFDIR", "インストール先のフォルダ", InstallFolder},
    {"SYSDIR", "Windowsのシステムフォルダ", SystemFolder},   {"WINDIR", "Windowsフォルダ", WindowsFolder},
    {"TMPDIR", "一時ファイルのフォルダ", TemporaryFolder},   {"SRCDIR", "セットアップのフォルダ", SetupFolder},
};

// The variable whose name starts at `p` ("%NAME%"): its value and the name's
// length, or kNoVariable; kNoValue, with the folder named in `unavailable`,
// when the platform could not give it.
Lookup VariableValue(const char* p, int* nameLength, const char** value, char* scratch,
                     UnavailableFolder* unavailable) {
    for (const Variable& variable : kVariables) {
        const int length = lstrlenA(variable.name);
        if (!StartsWithNoCase(p + 1, variable.name) || p[length + 1] != '%') continue;
        *nameLength = length + 2;
        unavailable->name = variable.folder;
        *value = variable.lookup(scratch);
        return *value ? kValue : kNoValue;
    }
    return kNoVariable;
}

}  // namespace

BOOL ExpandVariables(char* output, const char* input, int size, UnavailableFolder* unavailable) {
    output[0] = '\0';
    UnavailableFolder ignored;
    if (!unavailable) unavailable = &ignored;
    *unavailable = UnavailableFolder();
    char scratch[kPathSize];
    for (const char* p = input ? input : ""; *p;) {
        int nameLength = 0;
        const char* value = nullptr;
        UnavailableFolder folder;
        const Lookup lookup = *p == '%' ? VariableValue(p, &nameLength, &value, scratch, &folder) : kNoVariable;
        if (lookup == kNoValue) {
            *unavailable = folder;
            return FALSE;
        }
        if (lookup == kValue) {
            p += nameLength;
            if (!AppendText(output, value, size)) return FALSE;
            // A folder always ends in a backslash, never two.
            if (*p != '\\' && !EndsWithBackslash(output) && !AppendText(output, "\\", size))
                return FALSE;
            continue;
        }
        // Any other character, an unknown "%" included, is copied as it stands.
        char one[3] = {*p, '\0', '\0'};
        if (CharWidth(p) == 2) one[1] = p[1];
        if (!AppendText(output, one, size)) return FALSE;
        p += lstrlenA(one);
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Storage: the text, its lines, and reading them

namespace {

const char* g_scriptText = nullptr;
DWORD g_scriptSize = 0;  // bytes before the end-of-file mark

bool IsCommentLine(const char* line) { return line[0] == ';' || line[0] == '#'; }

}  // namespace

void UseScriptText(const char* text, DWORD size) {
    // Neither 0x1A nor LF can be the trail byte of a double-byte character in
    // code page 932, so plain byte scans find them at character starts.
    g_scriptText = text;
    g_scriptSize = 0;
    while (g_scriptSize < size && static_cast<BYTE>(text[g_scriptSize]) != 0x1A) ++g_scriptSize;
    LineCount = 0;
    for (DWORD i = 0; i < g_scriptSize; ++i)
        if (text[i] == '\n') ++LineCount;
    if (g_scriptSize > 0 && text[g_scriptSize - 1] != '\n') ++LineCount;
}

BOOL LoadScript() {
    // A resource stays mapped for the life of the process; nothing to free.
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_SCRIPT), "TEXT");
    if (!found) return FALSE;
    HGLOBAL loaded = LoadResource(module, found);
    const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!text) return FALSE;
    UseScriptText(text, SizeofResource(module, found));
    return TRUE;
}

BOOL ReadScriptLine(int n, char* buffer, int size) {
    buffer[0] = '\0';
    if (!g_scriptText || n < 0 || n >= LineCount) return FALSE;
    DWORD at = 0;
    for (int skipped = 0; skipped < n; ++at)
        if (g_scriptText[at] == '\n') ++skipped;
    int length = 0;
    while (at < g_scriptSize && g_scriptText[at] != '\n') {
        const char c = g_scriptText[at];
        if (c == '\r') {
            ++at;
            continue;
        }
        // A lead byte whose partner would be the line end stands alone.
        const bool pair = IsDBCSLeadByte(static_cast<BYTE>(c)) && at + 1 < g_scriptSize &&
                          g_scriptText[at + 1] != '\n' && g_scriptText[at + 1] != '\r';
        const int width = pair ? 2 : 1;
        if (length + width > size - 1) {
            buffer[length] = '\0';
            return FALSE;
        }
        for (int i = 0; i < width; ++i) buffer[length++] = g_scriptText[at++];
    }
    buffer[length] = '\0';
    return TRUE;
}

LineRead ReadCommandLine() {
    for (;;) {
        if (ScriptLine >= LineCount) {
            LineBuffer[0] = '\0';
            return kNoMoreLines;
        }
        const BOOL fits = ReadScriptLine(ScriptLine++, LineBuffer, kPathSize);
        if (IsCommentLine(LineBuffer)) continue;
        return fits ? kLineRead : kLineTooLong;
    }
}

void FindAppName(char* name, int size) {
    CopyText(name, INSTALLER_NAME, size);
    for (int n = 0; n < LineCount; ++n) {
        char line[kPathSize];
        ReadScriptLine(n, line, sizeof line);
        LineTokens tokens(line);
        const char* token = tokens.Next(kLineSeparators);
        if (!token || lstrcmpiA(token, KeywordTable[kAppName].keyword) != 0) continue;
        if (const char* value = tokens.Next(kLineSeparators)) CopyText(name, value, size);
        return;
    }
}

// ---------------------------------------------------------------------------
// The step

namespace {

const Marker kMarkers[] = {
    {kStartInstall, &InInstallSection, TRUE},    {kEndInstall, &InInstallSection, FALSE},
    {kStartUninstall, &InUninstallSection, TRUE}, {kEndUninstall, &InUninstallSection, FALSE},
    {kIf95, &InIf95Block, TRUE},                 {kEndIf95, &InIf95Block, FALSE},
    {kIfNt, &InIfNtBlock, TRUE},                 {kEndIfNt, &InIfNtBlock, FALSE},
};


// The section rule and the platform rule.
bool LineRuns() {
    const bool section = (InstallMode && InInstallSection) ||
                         (!InstallMode && InUninstallSection && PreviousInstall) ||
                         (!InInstallSection && !InUninstallSection);
    const bool platform = IsNt ? !InIf95Block : !InIfNtBlock;
    return section && platform;
}

// Starts the clean-up copy, if the script named one, without waiting for it;
// false when one was named and was refused or could not be started.
bool StartCleanupProgram() {
    if (!CleanupProgram[0]) return true;
    // A copy in the run's folder that is not this very program, or that could
    // not be held since it was made, is not started: who knows what it is.
    if (LiesInRunFolder(CleanupProgram) && !HeldCopyIsThisProgram(CleanupProgram)) {
        Message(nullptr, kWarning,
                "一時ファイルのフォルダにコピーしたアンインストーラ%sが、実行中のアンインストーラと"
                "同じであることを確認できなかったため、起動しませんでした。\n"
                "インストール先のフォルダに残ったファイルとフォルダは、手動で削除してください。",
                CleanupProgram);
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(CleanupProgram, CleanupArgs, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    KernelHandle thread(process.hThread);
    KernelHandle started(process.hProcess);
    ReleaseHeldCopy();
    return true;
}

// The final page; with a restart to offer, whether the user took it. Under
// -norestart none is offered.
BOOL ShowEndPage(bool restartNeeded) {
    SetForegroundWindow(MainWindow);
    if (restartNeeded && !NoRestartMode)
        return ShowFinalPage(InstallMode ? IDD_INSTALL_RESTART : IDD_UNINSTALL_RESTART) == 1;
    ShowFinalPage(InstallMode ? IDD_INSTALL_DONE : IDD_UNINSTALL_DONE);
    return FALSE;
}

// The line "end": the final page, the restart, the clean-up copy, the quit.
void EndRun() {
    // A meter that the script left open closes like at endmeter, so that the
    // final page is not shown over it.
    EndMeterDirective(ProgressDialog);
    // A silent run restarts unless told not to; an uninstall leaves the
    // restart to its clean-up copy, which must run after it has ended.
    BOOL restart = RestartNeeded && !NoRestartMode;
    if (!SilentMode) restart = ShowEndPage(RestartNeeded) && restart;
    if (!InstallMode) AppendText(CleanupArgs, restart ? "1" : "0", kTextSize);
    const bool restarting = restart && (InstallMode ? RestartWindows() != FALSE : true);
    // An uninstall whose clean-up copy does not run leaves its uninstaller
    // and folder behind: it did not finish.
    if (!StartCleanupProgram() && !InstallMode)
        PostQuitMessage(kExitFailed);
    else
        PostQuitMessage(RestartNeeded && !restarting ? kExitRestartNeeded : kExitDone);
}

void AbortRun() {
    EndMeterDirective(ProgressDialog);
    MessageBoxA(MainWindow, "セットアップを中止します。", Caption, MB_OK | MB_ICONEXCLAMATION);
    PostQuitMessage(CancelRequested ? kExitCancelled : kExitFailed);
}

// While the progress dialog is open, one waiting message is handled per step so
// that its stop button answers. FALSE when that message was the quit request.
bool PumpOneMessage() {
    if (!ProgressDialog) return true;
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return true;
    if (IsDialogMessageA(ProgressDialog, &message)) return true;
    if (message.message == WM_QUIT) {
        // Put it back for the main loop, which ends the program with it.
        PostQuitMessage(static_cast<int>(message.wParam));
        return false;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return true;
}

// Runs the line in LineBuffer, whose first token was `keyword`; FALSE when the
// line stopped the run.
BOOL RunLine(LineRead read, int keyword) {
    if (read == kNoMoreLines) {
        Message(ProgressDialog, kScriptProblem, "セットアップスクリプトが途中で終わっています。");
        return FALSE;
    }
    if (keyword < 0) return TRUE;  // blank lines, indented comments, unknown words
    // A line that is skipped is never read beyond its keyword, so its length
    // does not matter; a marker always takes effect, and "end" ends the run
    // wherever it stands, so either must be whole.
    const Marker* marker = FindMarker(keyword);
    if (!marker && keyword != kEnd && !LineRuns()) return TRUE;
    if (read == kLineTooLong) {
        ReportLineTooLong(ScriptLine);
        return FALSE;
    }
    if (marker) {
        *marker->flag = marker->value;
        return TRUE;
    }
    const CommandHandler handler = KeywordTable[keyword].handler;
    return handler ? handler(ProgressDialog) : TRUE;
}

}  // namespace

const Marker* FindMarker(int keyword) {
    for (const Marker& marker : kMarkers)
        if (marker.keyword == keyword) return &marker;
    return nullptr;
}

void ReportLineTooLong(int lineNumber) {
    Message(ProgressDialog, kScriptProblem, "セットアップスクリプトの%d行目が長すぎます。", lineNumber);
}

void ReportExpansionFailure(int lineNumber, const UnavailableFolder& unavailable) {
    if (!unavailable.name) {
        ReportLineTooLong(lineNumber);
        return;
    }
    Message(ProgressDialog, kScriptProblem, "%sのパスが長すぎるか、正しくありません。", unavailable.name);
}

void RunScriptStep() {
    const int oldPosition = MeterPos;
    StepOk = TRUE;
    const LineRead read = ReadCommandLine();
    const int keyword = read == kNoMoreLines ? -1 : FindKeyword(NextToken(LineBuffer, kLineSeparators));
    // "end" ends the run wherever it stands, even in a block that is skipped.
    if (keyword == kEnd && read == kLineRead) {
        EndRun();
        return;
    }
    if (!RunLine(read, keyword)) StepOk = FALSE;
    UpdateMeter(oldPosition);
    if (!PumpOneMessage()) return;
    if (StepOk && !CancelRequested)
        PostMessageA(MainWindow, WM_USER, 0, 0);
    else
        AbortRun();
}
