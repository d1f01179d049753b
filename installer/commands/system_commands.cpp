// The system commands chkostype, chkosversion, moveatreboot, cleanupinstall and
// cleanupuninstall, and the routines behind them: replacement at restart (the NT
// delayed move, WININIT.INI on the Windows 95 family), temporary file names and
// the restart of Windows.
#include "command_support.h"
#include "commands.h"
#include "routines.h"
#include "run_folder.h"
#include "run_state.h"
#include "handles.h"
#include "script.h"
#include "util.h"

const char* const OsNameTable[4] = {
    "Windows 3.1",
    "Windows 95",
    "Windows NT",
    "Windows 95またはWindows NT",
};

namespace {

const char* OsName(int index) { return index >= 0 && index < 4 ? OsNameTable[index] : ""; }

// Hands out a file's bytes the way a text-mode read does: CR LF comes as LF,
// and the end-of-file mark 0x1A ends the text. Lines of any length pass.
class TextReader {
public:
    explicit TextReader(HANDLE file) : file_(file), next_(0), end_(0), pushedBack_(kNothing), ok_(true) {}
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    static constexpr int kEnd = -1;

    int Next() {
        const int c = NextByte();
        if (c != '\r') return c;
        const int following = NextByte();
        if (following == '\n') return '\n';
        pushedBack_ = following;
        return '\r';
    }
    bool ok() const { return ok_; }

private:
    static constexpr int kNothing = -2;

    int NextByte() {
        if (pushedBack_ != kNothing) {
            const int c = pushedBack_;
            pushedBack_ = kNothing;
            return c;
        }
        if (next_ == end_ && !Refill()) return kEnd;
        const BYTE b = buffer_[next_++];
        if (b == 0x1A) {
            next_ = end_ = 0;
            file_ = nullptr;  // nothing after the mark is read
            return kEnd;
        }
        return b;
    }
    bool Refill() {
        if (!file_) return false;
        DWORD got = 0;
        if (!ReadFile(file_, buffer_, sizeof buffer_, &got, nullptr)) ok_ = false;
        next_ = 0;
        end_ = got;
        if (got == 0) file_ = nullptr;
        return got != 0;
    }

    HANDLE file_;
    BYTE buffer_[kTextSize];
    DWORD next_;
    DWORD end_;
    int pushedBack_;
    bool ok_;
};

// Buffered writing with CR LF line ends; remembers whether every write worked.
class TextWriter {
public:
    explicit TextWriter(HANDLE file) : file_(file), used_(0), ok_(true) {}
    ~TextWriter() { Flush(); }
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void Put(char c) {
        if (used_ == sizeof buffer_) Flush();
        buffer_[used_++] = c;
    }
    void Write(const char* text, int length) {
        for (int i = 0; i < length; ++i) Put(text[i]);
    }
    void Write(const char* text) { Write(text, lstrlenA(text)); }
    void LineEnd() { Write("\r\n", 2); }
    bool Flush() {
        DWORD written = 0;
        if (used_ && (!WriteFile(file_, buffer_, used_, &written, nullptr) || written != used_))
            ok_ = false;
        used_ = 0;
        return ok_;
    }

private:
    HANDLE file_;
    char buffer_[kTextSize];
    DWORD used_;
    bool ok_;
};

const char kRenameSection[] = "[Rename]";
constexpr int kRenameSectionLength = sizeof kRenameSection - 1;

bool IsRenameSection(const char* line, int length) {
    if (length != kRenameSectionLength) return false;
    for (int i = 0; i < length; ++i)
        if (line[i] != kRenameSection[i]) return false;
    return true;
}

bool IsNulDestination(const char* destination) { return lstrcmpiA(destination, "NUL") == 0; }

BOOL ReplaceAtRestartOnWindows95(const char* destination, const char* source) {
    char shortSource[kPathSize];
    char shortDestination[kPathSize];
    // A name without an 8.3 form is written as it is.
    if (!ShortPath(source, shortSource)) lstrcpynA(shortSource, source, kPathSize);
    if (IsNulDestination(destination) || !ShortPath(destination, shortDestination))
        lstrcpynA(shortDestination, destination, kPathSize);

    char windows[kPathSize];
    char wininit[kPathSize];
    if (!WholePath(GetWindowsDirectoryA(windows, kPathSize)) || !JoinPath(wininit, windows, "WININIT.INI"))
        return TRUE;
    return AddWininitRenameEntry(wininit, shortDestination, shortSource);
}

void EnableShutdownPrivilege() {
    HANDLE opened = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) return;
    const KernelHandle token(opened);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// The 8.3 form of the existing full `folder`, asked for without a trailing
// backslash: that is the form GetShortPathNameA is documented for, and a
// drive's root ("C:\\") keeps its backslash, without which it would name the
// drive's current folder.
bool ShortFolder(const char* folder, char* shortForm) {
    char bare[kPathSize];
    lstrcpyA(bare, folder);
    if (!(StartsWithDrive(bare) && lstrlenA(bare) == 3)) StripTrailingBackslash(bare);
    return ShortPath(bare, shortForm);
}

void ForgetCleanupProgram() {
    CleanupProgram[0] = '\0';
    CleanupArgs[0] = '\0';
}

}  // namespace

// Both are compared in their full
// forms, and, since GetFullPathNameA leaves an 8.3 name short, also in their
// short forms (a program started as C:\PROGRA~1\... while the folder reads
// C:\Program Files\..., or the other way round).
bool LiesInFolder(const char* path, const char* folder) {
    char fullPath[kPathSize];
    char fullFolder[kPathSize];
    if (!FullPath(path, fullPath) || !FullPath(folder, fullFolder)) return false;
    if (StartsWithFolder(fullPath, fullFolder)) return true;
    // Both exist when the one lies in the other; a form that cannot be had
    // is no match.
    char shortPath[kPathSize];
    char shortFolder[kPathSize];
    return ShortPath(fullPath, shortPath) && ShortFolder(fullFolder, shortFolder) &&
           StartsWithFolder(shortPath, shortFolder);
}

BOOL ChkOsTypeCommand(HWND) {
    const int refused = ReadNumber(NextArgument());
    const int suggested = ReadNumber(NextArgument());
    OSVERSIONINFOA version;
    if (QueryWindowsVersion(&version) && static_cast<int>(version.dwPlatformId) != refused) return TRUE;
    Message(nullptr, kPlatformRefused, "%sは、%sでは動作しません。\n%sを使用してください。", AppName,
            OsName(refused), OsName(suggested));
    return FALSE;
}

BOOL ChkOsVersionCommand(HWND) {
    const int major = ReadNumber(NextArgument());
    const int minor = ReadNumber(NextArgument());
    OSVERSIONINFOA version;
    if (!QueryWindowsVersion(&version)) return TRUE;
    const int runningMajor = static_cast<int>(version.dwMajorVersion);
    const int runningMinor = static_cast<int>(version.dwMinorVersion);
    if (runningMajor > major || (runningMajor == major && runningMinor >= minor)) return TRUE;
    const char* format;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        format = "%sは、Windows 95 (%d.%02d)では動作しません。\nWindows 95 (%d.%02d)を使用してください。";
    else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        format = "%sは、Windows NT %d.%02dでは動作しません。\nWindows NT %d.%02dを使用してください。";
    else
        return TRUE;
    Message(nullptr, kPlatformRefused, format, AppName, runningMajor, runningMinor, major, minor);
    return FALSE;
}

BOOL MoveAtRebootCommand(HWND progressDialog) {
    char source[kPathSize];
    char destination[kPathSize];
    const BOOL sourceFits = ExpandNextArgument(source);
    const BOOL destinationFits = ExpandNextArgument(destination);
    if (!sourceFits || !GetFileInfo(source, nullptr, nullptr, nullptr, nullptr, nullptr)) {
        // Nothing left to remove at the restart: no restart is needed for it.
        if (sourceFits && MissingSourceWasRemoved()) return TRUE;
        Message(progressDialog, kNotFound, "移動するファイル%sが見つかりません。", source);
        return FALSE;
    }
    // A destination cut short would name some other file: nothing is
    // scheduled, which passes as silently as a refused schedule does.
    if (destinationFits) ReplaceAtRestart(destination, source);
    // A file of the uninstall run's own folder takes the folder with it: NT
    // removes an empty folder from its list, after the file listed before
    // it. WININIT.INI only deletes and renames files, so on the Windows 95
    // family the empty folder stays in the temporary folder.
    char folder[kPathSize];
    if (destinationFits && IsNulDestination(destination) && LiesInRunFolder(source) &&
        WindowsPlatform() != VER_PLATFORM_WIN32_WINDOWS && RunFolder(folder))
        ReplaceAtRestart(destination, folder);
    RestartNeeded = TRUE;
    return TRUE;
}

BOOL CleanupInstallCommand(HWND) {
    const char* programArgument = NextArgument();
    char self[kPathSize];
    // A program or path cut short would start or clean up the wrong thing:
    // then no clean-up program is named at all.
    if (!ExpandVariables(CleanupProgram, programArgument) || !OwnProgramPath(self)) {
        ForgetCleanupProgram();
        return TRUE;
    }
    wsprintfA(CleanupArgs, "-cleanupinstall \"%s\"", self);
    return TRUE;
}

BOOL CleanupUninstallCommand(HWND) {
    const char* programArgument = NextArgument();
    const char* folderArgument = NextArgument();
    char folder[kPathSize];
    char self[kPathSize];
    if (!ExpandVariables(CleanupProgram, programArgument) || !ExpandVariables(folder, folderArgument) ||
        !OwnProgramPath(self)) {
        ForgetCleanupProgram();
        return TRUE;
    }
    // The clean-up copy deletes this program once it has ended, to free the
    // folder: that is the installed uninstaller. Run from anywhere else (an
    // install run that the selection page turned into an uninstall runs from
    // the distribution folder), this program is not the installation's and
    // must stay; the clean-up copy is then given no file to delete.
    if (!LiesInFolder(self, folder)) self[0] = '\0';
    wsprintfA(CleanupArgs, "-cleanupuninstall \"%s\" \"%s\"", self, folder);
    return TRUE;
}

BOOL ReplaceAtRestart(const char* destination, const char* source) {
    if (WindowsPlatform() == VER_PLATFORM_WIN32_WINDOWS) return ReplaceAtRestartOnWindows95(destination, source);
    if (IsNulDestination(destination))
        MoveFileExA(source, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    else
        MoveFileExA(source, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
    return TRUE;
}

BOOL CopyWithRenameEntry(HANDLE in, HANDLE out, const char* entry, BOOL* ioOk) {
    TextReader reader(in);
    TextWriter writer(out);
    BOOL entryWritten = FALSE;
    // The first few bytes of a line tell whether it is the section line; the
    // rest of a longer line is passed on as it comes, so no line is ever cut.
    char head[kRenameSectionLength + 1];
    for (;;) {
        int length = 0;
        int c = TextReader::kEnd;
        while (length < static_cast<int>(sizeof head) && (c = reader.Next()) != TextReader::kEnd && c != '\n')
            head[length++] = static_cast<char>(c);
        if (length == 0 && c == TextReader::kEnd) break;
        writer.Write(head, length);
        if (length == static_cast<int>(sizeof head)) {
            while ((c = reader.Next()) != TextReader::kEnd && c != '\n') writer.Put(static_cast<char>(c));
        }
        writer.LineEnd();
        if (IsRenameSection(head, length)) {
            writer.Write(entry);
            writer.LineEnd();
            entryWritten = TRUE;
            // The rest goes across as a text-mode copy does: line ends become
            // CR LF, and a last line without one stays so.
            while ((c = reader.Next()) != TextReader::kEnd) {
                if (c == '\n')
                    writer.LineEnd();
                else
                    writer.Put(static_cast<char>(c));
            }
            break;
        }
        if (c == TextReader::kEnd) break;
    }
    const bool flushed = writer.Flush();
    if (!reader.ok() || !flushed) *ioOk = FALSE;
    return entryWritten;
}

BOOL AddWininitRenameEntry(const char* wininitPath, const char* destination, const char* source) {
    char entry[kTextSize];
    wsprintfA(entry, "%s=%s", destination, source);
    if (GetFileAttributesA(wininitPath) != INVALID_FILE_ATTRIBUTES) {
        char temporary[kPathSize];
        lstrcpynA(temporary, MakeTempFileName(), kPathSize);
        if (!temporary[0]) return TRUE;
        KernelHandle in(CreateFileA(wininitPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        KernelHandle out(CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!in || !out) {
            out.Close();
            DeleteFileA(temporary);
            return TRUE;
        }
        BOOL ioOk = TRUE;
        const BOOL entryWritten = CopyWithRenameEntry(in.Get(), out.Get(), entry, &ioOk);
        in.Close();
        out.Close();
        // A copy that lost bytes on the way must never take the list's place.
        const BOOL replaced = ioOk && CopyFileA(temporary, wininitPath, FALSE);
        DeleteFileA(temporary);
        if (entryWritten || !replaced) return TRUE;
    }
    // No file, or no section in it: the profile call makes what is missing.
    WritePrivateProfileStringA("Rename", destination, source, wininitPath);
    return TRUE;
}

const char* MakeTempFileName() {
    static char name[kPathSize];
    char folder[kPathSize];
    name[0] = '\0';
    if (!WholePath(GetTempPathA(kPathSize, folder)) || !GetTempFileNameA(folder, "hbs", 0, name))
        name[0] = '\0';
    return name;
}

BOOL RestartWindows() {
    if (WindowsPlatform() == VER_PLATFORM_WIN32_NT) EnableShutdownPrivilege();
    return ExitWindowsEx(EWX_REBOOT, 0);
}
