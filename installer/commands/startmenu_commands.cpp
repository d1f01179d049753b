// The Start-menu commands ddestart, creategroup, deletegroup, addicon and
// deleteicon: folders and shortcut files in the current user's Programs folder.
#include <objbase.h>
#include <shlobj.h>

#include "command_support.h"
#include "commands.h"
#include "run_state.h"
#include "scoped_handles.h"
#include "script.h"
#include "wizard.h"

namespace {

void ShowStartMenuLine(HWND progressDialog) {
    ShowProgressLines(progressDialog, "スタートメニューの更新中です...", nullptr, nullptr);
}

// Appends `text` to `path` (kPathSize bytes); false when it would not fit.
bool AppendPath(char* path, const char* text) { return AppendText(path, text, kPathSize, kRefuse) != FALSE; }

// Programs folder, "\" and the group; false when the folder is unknown (a bare
// "\group" would name a folder at the root of some drive) or it does not fit.
bool GroupFolderPath(char* path, const char* group) {
    return GetProgramsFolder(path) && AppendPath(path, "\\") && AppendPath(path, group ? group : "");
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
    if (!found) {
        folder[0] = '\0';
        return FALSE;
    }
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

BOOL CreateGroupCommand(HWND progressDialog) {
    if (!AddToStartMenu) return TRUE;
    const char* group = NextArgument();
    ShowStartMenuLine(progressDialog);
    char folder[kPathSize];
    // An existing folder of the same name counts as a failure too.
    if (!GroupFolderPath(folder, group) || !CreateDirectoryA(folder, nullptr)) {
        if (!SilentMode)
            ShowMessage(MessageOwner(progressDialog), Caption, MB_ICONEXCLAMATION, MB_OK | MB_ICONHAND,
                        "スタートメニューへの「%s」項目の追加ができませんでした。", group ? group : "");
        return FALSE;
    }
    AddKeywordWeight(kCreateGroup);
    return TRUE;
}

BOOL DeleteGroupCommand(HWND progressDialog) {
    if (!AddToStartMenu) return TRUE;
    const char* group = NextArgument();
    ShowStartMenuLine(progressDialog);
    char folder[kPathSize];
    if (GroupFolderPath(folder, group)) RemoveDirectoryA(folder);
    AddKeywordWeight(kDeleteGroup);
    return TRUE;
}

BOOL AddIconCommand(HWND progressDialog) {
    if (!AddToStartMenu) return TRUE;
    const char* targetArgument = NextArgument();
    const char* group = NextArgument();
    const char* item = NextArgument();
    char target[kPathSize];
    const BOOL targetFits = ExpandArgument(target, targetArgument);
    ShowStartMenuLine(progressDialog);
    // A shortcut that cannot be made passes silently; one to a path cut short
    // is not made at all.
    char linkPath[kPathSize];
    if (targetFits && ShortcutPath(linkPath, group, item)) CreateShortcut(target, linkPath, item ? item : "");
    AddKeywordWeight(kAddIcon);
    return TRUE;
}

BOOL DeleteIconCommand(HWND progressDialog) {
    if (!AddToStartMenu) return TRUE;
    const char* group = NextArgument();
    const char* item = NextArgument();
    ShowStartMenuLine(progressDialog);
    char linkPath[kPathSize];
    if (ShortcutPath(linkPath, group, item)) DeleteFileA(linkPath);
    AddKeywordWeight(kDeleteIcon);
    return TRUE;
}
