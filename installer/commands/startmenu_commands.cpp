// The Start-menu commands ddestart, creategroup, deletegroup, addicon and
// deleteicon: folders and shortcut files in the current user's Programs folder.
#include <objbase.h>
#include <shlobj.h>

#include "command_support.h"
#include "commands.h"
#include "meter.h"
#include "routines.h"
#include "run_state.h"
#include "handles.h"
#include "script.h"
#include "util.h"

namespace {

void ShowStartMenuLine(HWND progressDialog) {
    ShowProgressLines(progressDialog, "スタートメニューの更新中です...", nullptr, nullptr);
}

// Programs folder, "\" and the group; false when the folder is unknown (a bare
// "\group" would name a folder at the root of some drive) or it does not fit.
bool GroupFolderPath(char* path, const char* group) {
    return GetProgramsFolder(path) && AppendPath(path, "\\") && AppendPath(path, group ? group : "");
}

// A group command's group (into `group` unless nullptr), read as its line is
// shown, and its folder's path into `folder` (kPathSize bytes); false when
// that path cannot be made.
bool NextGroupFolder(HWND progressDialog, const char** group, char* folder) {
    const char* name = NextArgument();
    if (group) *group = name;
    ShowStartMenuLine(progressDialog);
    return GroupFolderPath(folder, name);
}

// An icon command's group and item (into `item` unless nullptr), read as its
// line is shown, and the shortcut's path into `linkPath` (kPathSize bytes);
// false when that path cannot be made.
bool NextShortcutPath(HWND progressDialog, const char** item, char* linkPath) {
    const char* group = NextArgument();
    const char* name = NextArgument();
    if (item) *item = name;
    ShowStartMenuLine(progressDialog);
    return ShortcutPath(linkPath, group, name);
}

HRESULT SaveShellLink(const char* target, const char* linkPath, const char* description) {
    ComPtr<IShellLinkA> link;
    HRESULT status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      link.ReceiveInterface());
    if (FAILED(status)) return status;
    link->SetPath(target);
    link->SetDescription(description);
    ComPtr<IPersistFile> file;
    status = link->QueryInterface(IID_IPersistFile, file.ReceiveInterface());
    if (FAILED(status)) return status;
    WCHAR widePath[kPathSize];
    if (!MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kPathSize)) return E_INVALIDARG;
    return file->Save(widePath, TRUE);
}

}  // namespace

BOOL GetProgramsFolder(char* folder) {
    folder[0] = '\0';
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list)) || !list) return FALSE;
    const BOOL found = SHGetPathFromIDListA(list, folder);
    CoTaskMemFree(list);
    if (!found) folder[0] = '\0';
    StripTrailingBackslash(folder);
    return folder[0] != '\0';
}

BOOL ShortcutPath(char* path, const char* group, const char* item) {
    if (!GetProgramsFolder(path) || !AppendPath(path, "\\")) return FALSE;
    if (group && *group && !(AppendPath(path, group) && AppendPath(path, "\\"))) return FALSE;
    return AppendPath(path, item ? item : "") && AppendPath(path, ".lnk");
}

HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description) {
    // The component library, initialised for the life of one shortcut.
    ComLibrary library;
    return SaveShellLink(target, linkPath, description);
}

BOOL DdeStartCommand(HWND) {
    // Removal always acts: the uninstall run does not ask about the Start menu.
    if (!InstallMode) AddToStartMenu = TRUE;
    return TRUE;
}

namespace {

// Each command's work, once the Start menu is to be touched; false stops the run.
bool CreateGroup(HWND progressDialog) {
    const char* group = nullptr;
    char folder[kPathSize];
    // An existing folder of the same name counts as a failure too.
    if (NextGroupFolder(progressDialog, &group, folder) && CreateDirectoryA(folder, nullptr)) return true;
    Message(progressDialog, kNotFound, "スタートメニューへの「%s」項目の追加ができませんでした。", group ? group : "");
    return false;
}

bool DeleteGroup(HWND progressDialog) {
    char folder[kPathSize];
    if (NextGroupFolder(progressDialog, nullptr, folder)) RemoveDirectoryA(folder);
    return true;
}

// A shortcut that cannot be made passes silently; one to a path cut short is
// not made at all.
bool AddIcon(HWND progressDialog) {
    char target[kPathSize];
    const BOOL targetFits = ExpandNextArgument(target);
    const char* item = nullptr;
    char linkPath[kPathSize];
    if (NextShortcutPath(progressDialog, &item, linkPath) && targetFits)
        CreateShortcut(target, linkPath, item ? item : "");
    return true;
}

bool DeleteIcon(HWND progressDialog) {
    char linkPath[kPathSize];
    if (NextShortcutPath(progressDialog, nullptr, linkPath)) DeleteFileA(linkPath);
    return true;
}

// A Start-menu command does nothing unless the Start menu is to be touched
// (asked for by the user, or an uninstall run), and counts its weight once
// its work is done.
BOOL RunStartMenuCommand(HWND progressDialog, int keyword, bool (*work)(HWND progressDialog)) {
    if (!AddToStartMenu) return TRUE;
    if (!work(progressDialog)) return FALSE;
    AddKeywordWeight(keyword);
    return TRUE;
}

}  // namespace

BOOL CreateGroupCommand(HWND progressDialog) { return RunStartMenuCommand(progressDialog, kCreateGroup, CreateGroup); }

BOOL DeleteGroupCommand(HWND progressDialog) { return RunStartMenuCommand(progressDialog, kDeleteGroup, DeleteGroup); }

BOOL AddIconCommand(HWND progressDialog) { return RunStartMenuCommand(progressDialog, kAddIcon, AddIcon); }

BOOL DeleteIconCommand(HWND progressDialog) { return RunStartMenuCommand(progressDialog, kDeleteIcon, DeleteIcon); }
