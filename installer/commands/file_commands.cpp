// The file commands copy, move, del, mkdir and rmdir, and the file routines the
// other parts share: file information, folder paths, move by copy.
#include "command_support.h"
#include "commands.h"
#include "run_state.h"
#include "script.h"
#include "wizard.h"

namespace {

// The weight that KeywordTable gives del, mkdir and rmdir.
constexpr DWORD kFixedWeight = 1024;

// copy and move differ only in their texts and in how the file gets across.
struct TransferKind {
    const char* action;
    const char* missingSource;
    const char* failed;
    BOOL (*transfer)(const char* source, const char* destination);
};

BOOL CopyReplacing(const char* source, const char* destination) {
    return CopyFileA(source, destination, FALSE);
}

const TransferKind kCopyTransfer = {"ファイルのコピー中です...", "コピーするファイル%sが見つかりません。",
                            "ファイル%sのコピーができませんでした。", CopyReplacing};
const TransferKind kMoveTransfer = {"ファイルの移動中です...", "移動するファイル%sが見つかりません。",
                            "ファイル%sの移動ができませんでした。", MoveByCopy};

void ShowNameLine(HWND progressDialog, const char* action, const char* format, const char* name,
                  const char* description) {
    char line[kTextSize];
    wsprintfA(line, format, name);
    ShowProgressLines(progressDialog, action, line, description);
}

void ReportFailure(HWND progressDialog, UINT beep, const char* format, const char* path) {
    char text[kTextSize];
    wsprintfA(text, format, path);
    ShowCommandMessage(MessageOwner(progressDialog), beep, MB_OK | MB_ICONHAND, text);
}

// A destination whose last write is strictly later than the source's.
bool DestinationIsNewer(const char* destination, const FILETIME& sourceTime) {
    FILETIME destinationTime;
    return GetFileInfo(destination, nullptr, nullptr, nullptr, &destinationTime, nullptr) &&
           CompareFileTime(&destinationTime, &sourceTime) > 0;
}

bool UserAllowsOverwrite(HWND progressDialog, const char* destination) {
    char text[kTextSize];
    wsprintfA(text, "新しいファイル%sが、すでに存在します。\n上書きしますか?", destination);
    return ShowCommandMessage(MessageOwner(progressDialog), MB_ICONEXCLAMATION,
                              MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON1, text) == IDYES;
}

BOOL TransferCommand(HWND progressDialog, const TransferKind& kind) {
    const char* sourceArgument = NextArgument();
    const char* destinationArgument = NextArgument();
    const char* description = NextArgument();
    char source[kPathSize];
    char destination[kPathSize];
    // A path cut short names some other file: it is treated as one that
    // cannot be opened (source) or written (destination).
    const BOOL sourceFits = ExpandArgument(source, sourceArgument);
    const BOOL destinationFits = ExpandArgument(destination, destinationArgument);
    ShowNameLine(progressDialog, kind.action, "ファイル名 : %s", source, description);

    FILETIME sourceTime;
    DWORD size = 0;
    if (!sourceFits || !GetFileInfo(source, nullptr, nullptr, nullptr, &sourceTime, &size)) {
        if (!SilentMode) ReportFailure(progressDialog, MB_ICONEXCLAMATION, kind.missingSource, source);
        return FALSE;
    }
    // Declining keeps the destination, but the work counts as done so that the
    // meter still reaches its total.
    if (!SilentMode && destinationFits && DestinationIsNewer(destination, sourceTime) &&
        !UserAllowsOverwrite(progressDialog, destination)) {
        MeterDone += size;
        return TRUE;
    }
    if (destinationFits && kind.transfer(source, destination)) {
        MeterDone += size;
        return TRUE;
    }
    if (!SilentMode) ReportFailure(progressDialog, MB_ICONHAND, kind.failed, source);
    return FALSE;
}

// mkdir and rmdir show the folder without its trailing backslash.
void ShowFolderLine(HWND progressDialog, const char* action, const char* folder,
                    const char* description) {
    char shown[kPathSize];
    lstrcpynA(shown, folder, kPathSize);
    StripTrailingBackslash(shown);
    ShowNameLine(progressDialog, action, "フォルダ名 : %s", shown, description);
}

}  // namespace

BOOL CopyCommand(HWND progressDialog) { return TransferCommand(progressDialog, kCopyTransfer); }

BOOL MoveCommand(HWND progressDialog) { return TransferCommand(progressDialog, kMoveTransfer); }

BOOL DelCommand(HWND progressDialog) {
    const char* fileArgument = NextArgument();
    const char* description = NextArgument();
    char file[kPathSize];
    const BOOL fits = ExpandArgument(file, fileArgument);
    ShowNameLine(progressDialog, "ファイルの削除中です...", "ファイル名 : %s", file, description);
    // A missing, read-only or locked file is no error; a name cut short is
    // not deleted at all, since it may name another file.
    if (fits) DeleteFileA(file);
    MeterDone += kFixedWeight;
    return TRUE;
}

BOOL MkdirCommand(HWND progressDialog) {
    const char* folderArgument = NextArgument();
    const char* description = NextArgument();
    char folder[kPathSize];
    const BOOL fits = ExpandArgument(folder, folderArgument);
    ShowFolderLine(progressDialog, "フォルダの作成中です...", folder, description);
    if (fits) MakeDirectoryPath(folder);
    MeterDone += kFixedWeight;
    return TRUE;
}

BOOL RmdirCommand(HWND progressDialog) {
    const char* folderArgument = NextArgument();
    const char* description = NextArgument();
    char folder[kPathSize];
    const BOOL fits = ExpandArgument(folder, folderArgument);
    ShowFolderLine(progressDialog, "フォルダの削除中です...", folder, description);
    // Only an empty folder goes; anything else stays without a word.
    if (fits) RemoveDirectoryA(folder);
    MeterDone += kFixedWeight;
    return TRUE;
}

BOOL GetFileInfo(const char* path, DWORD* attributes, FILETIME* creation, FILETIME* lastAccess,
                 FILETIME* lastWrite, DWORD* size) {
    // The legacy open (read access, compatibility sharing) is the test of
    // presence: a folder or a file that cannot be read counts as absent.
    const HFILE file = _lopen(path, OF_READ | OF_SHARE_COMPAT);
    if (file == HFILE_ERROR) return FALSE;
    const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(file));
    // A file whose times or size cannot be read is as good as absent: the
    // newer-file question and the meter must not work from made-up values.
    bool known = !(creation || lastAccess || lastWrite) || GetFileTime(handle, creation, lastAccess, lastWrite);
    if (known && size) {
        // All bits set is also the low half of a size; only the error says.
        SetLastError(NO_ERROR);
        *size = GetFileSize(handle, nullptr);
        known = *size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
    }
    _lclose(file);
    if (!known) return FALSE;
    if (attributes) *attributes = GetFileAttributesA(path);
    return TRUE;
}

BOOL MakeDirectoryPath(const char* path) {
    char buffer[kPathSize];
    if (lstrlenA(path) >= kPathSize) return TRUE;  // cut short it would name other folders
    lstrcpyA(buffer, path);
    char* scan = buffer;
    if (((scan[0] >= 'A' && scan[0] <= 'Z') || (scan[0] >= 'a' && scan[0] <= 'z')) && scan[1] == ':')
        scan += 2;
    if (*scan == '\\') ++scan;
    // Each separator ends one folder of the path; the end of the text ends the
    // last one when there is no trailing backslash. Stepping by characters keeps
    // the trail byte 0x5C of a double-byte character inside its name.
    for (;;) {
        const char* folderName = scan;
        while (*scan && *scan != '\\') scan = CharNextA(scan);
        const char separator = *scan;
        *scan = '\0';
        if (scan > folderName) CreateDirectoryA(buffer, nullptr);
        if (!separator) return TRUE;
        *scan = separator;
        ++scan;
        if (!*scan) return TRUE;
    }
}

BOOL MoveByCopy(const char* source, const char* destination) {
    if (!CopyFileA(source, destination, FALSE)) return FALSE;
    DeleteFileA(source);  // a source that stays behind is no failure
    return TRUE;
}

void StripTrailingBackslash(char* path) {
    const int length = lstrlenA(path);
    if (length == 0) return;
    char* last = CharPrevA(path, path + length);
    if (*last == '\\') *last = '\0';
}
