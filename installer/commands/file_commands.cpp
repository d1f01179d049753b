// The file commands copy, move, del, mkdir and rmdir, and the file routines the
// other parts share: file information, folder paths, move by copy.
#include "command_support.h"
#include "commands.h"
#include "meter.h"
#include "routines.h"
#include "folder_rights.h"
#include "run_folder.h"
#include "run_state.h"
#include "handles.h"
#include "script.h"
#include "util.h"

namespace {

// copy and move differ only in their texts and in how the file gets across.
struct TransferKind {
    const char* action;
    const char* missingSource;
    const char* failed;
    BOOL (*transfer)(const char* source, const char* destination);
};

BOOL CopyReplacing(const char* source, const char* destination) {
    // A copy into the uninstall run's own folder is its clean-up copy.
    if (LiesInRunFolder(destination)) return MakeHeldCopy(source, destination);
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

// A destination whose last write is strictly later than the source's.
bool DestinationIsNewer(const char* destination, const FILETIME& sourceTime) {
    FILETIME destinationTime;
    return GetFileInfo(destination, nullptr, nullptr, nullptr, &destinationTime, nullptr) &&
           CompareFileTime(&destinationTime, &sourceTime) > 0;
}

BOOL TransferCommand(HWND progressDialog, const TransferKind& kind) {
    char source[kPathSize];
    char destination[kPathSize];
    // A path cut short names some other file: it is treated as one that
    // cannot be opened (source) or written (destination).
    const BOOL sourceFits = ExpandNextArgument(source);
    const BOOL destinationFits = ExpandNextArgument(destination);
    const char* description = NextArgument();
    ShowNameLine(progressDialog, kind.action, "ファイル名 : %s", source, description);

    FILETIME sourceTime;
    DWORD size = 0;
    if (!sourceFits || !GetFileInfo(source, nullptr, nullptr, nullptr, &sourceTime, &size)) {
        if (sourceFits && MissingSourceWasRemoved()) return TRUE;  // nothing left to copy
        Message(progressDialog, kNotFound, kind.missingSource, source);
        return FALSE;
    }
    // Declining to overwrite a newer file keeps it, but the work counts as
    // done so that the meter still reaches its total.
    const bool declined = destinationFits && DestinationIsNewer(destination, sourceTime) &&
                          Message(progressDialog, kOverwriteQuestion,
                                  "新しいファイル%sが、すでに存在します。\n上書きしますか?", destination) != IDYES;
    if (declined || (destinationFits && kind.transfer(source, destination))) {
        MeterDone += size;
        return TRUE;
    }
    Message(progressDialog, kFailed, kind.failed, source);
    return FALSE;
}

// mkdir and rmdir: the folder is shown without its trailing backslash, and
// one cut short is not touched at all, since it may name another folder.
BOOL FolderCommand(HWND progressDialog, int keyword, const char* action, BOOL (*act)(const char* folder)) {
    char folder[kPathSize];
    const BOOL fits = ExpandNextArgument(folder);
    const char* description = NextArgument();
    char shown[kPathSize];
    lstrcpynA(shown, folder, kPathSize);
    StripTrailingBackslash(shown);
    ShowNameLine(progressDialog, action, "フォルダ名 : %s", shown, description);
    if (fits) act(folder);
    AddKeywordWeight(keyword);
    return TRUE;
}

// A folder made outside the Program Files folder would take the rights of
// the folder above, which on a drive's root let every user change what an
// administrator later runs there: it gets rights of its own instead.
// Program Files' rights protect what is made in it already; the Windows 95
// family, a FAT drive and a run without an administrator's rights (which
// could not write into such a folder) are left as they are.
bool NeedsProtectedRights(const char* path) {
    return VolumeKeepsRights(path) && RunsAsAdministrator() && !LiesInFolder(path, GetProgramFilesDir());
}

// Only an empty folder goes; anything else stays without a word.
BOOL RemoveEmptyFolder(const char* folder) { return RemoveDirectoryA(folder); }

}  // namespace

BOOL CopyCommand(HWND progressDialog) { return TransferCommand(progressDialog, kCopyTransfer); }

BOOL MoveCommand(HWND progressDialog) { return TransferCommand(progressDialog, kMoveTransfer); }

BOOL DelCommand(HWND progressDialog) {
    char file[kPathSize];
    const BOOL fits = ExpandNextArgument(file);
    const char* description = NextArgument();
    ShowNameLine(progressDialog, "ファイルの削除中です...", "ファイル名 : %s", file, description);
    // A missing, read-only or locked file is no error; a name cut short is
    // not deleted at all, since it may name another file.
    if (fits) DeleteFileA(file);
    AddKeywordWeight(kDel);
    return TRUE;
}

BOOL MkdirCommand(HWND progressDialog) {
    return FolderCommand(progressDialog, kMkdir, "フォルダの作成中です...", MakeDirectoryPath);
}

BOOL RmdirCommand(HWND progressDialog) {
    return FolderCommand(progressDialog, kRmdir, "フォルダの削除中です...", RemoveEmptyFolder);
}

BOOL GetFileInfo(const char* path, DWORD* attributes, FILETIME* creation, FILETIME* lastAccess,
                 FILETIME* lastWrite, DWORD* size) {
    // The legacy open (read access, compatibility sharing) is the test of
    // presence: a folder or a file that cannot be read counts as absent.
    // Its HFILE is the file's handle, and HFILE_ERROR reads as INVALID_HANDLE_VALUE.
    KernelHandle file(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(_lopen(path, OF_READ | OF_SHARE_COMPAT))));
    if (!file) return FALSE;
    const HANDLE handle = file.Get();
    // A file whose times or size cannot be read is as good as absent: the
    // newer-file question and the meter must not work from made-up values.
    bool known = !(creation || lastAccess || lastWrite) || GetFileTime(handle, creation, lastAccess, lastWrite);
    if (known && size) {
        // All bits set is also the low half of a size; only the error says.
        SetLastError(NO_ERROR);
        *size = GetFileSize(handle, nullptr);
        known = *size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR;
    }
    file.Close();
    if (!known) return FALSE;
    if (attributes) *attributes = GetFileAttributesA(path);
    return TRUE;
}

BOOL MakeDirectoryPath(const char* path) {
    char buffer[kPathSize];
    if (lstrlenA(path) >= kPathSize) return TRUE;  // cut short it would name other folders
    lstrcpyA(buffer, path);
    ProtectedFolderRights rights(true);
    SECURITY_ATTRIBUTES* attributes = NeedsProtectedRights(buffer) ? rights.Attributes() : nullptr;
    char* scan = buffer;
    if (StartsWithDrive(scan)) scan += 2;
    if (*scan == '\\') ++scan;
    // Each separator ends one folder of the path; the end of the text ends the
    // last one when there is no trailing backslash. Stepping by characters keeps
    // the trail byte 0x5C of a double-byte character inside its name.
    for (;;) {
        const char* folderName = scan;
        while (*scan && *scan != '\\') scan = CharNextA(scan);
        const char separator = *scan;
        *scan = '\0';
        if (scan > folderName) CreateDirectoryA(buffer, attributes);
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
