// The Start-menu commands ddestart, creategroup, deletegroup, addicon and
// deleteicon: folders and shortcut files in the current user's Programs folder.
#include <objbase.h>
#include <shlobj.h>

#include "command_support.h"
#include "commands.h"
#include "run_state.h"
#include "script.h"
#include "wizard.h"

namespace {

// The weight that KeywordTable gives every Start-menu command but ddestart.
constexpr DWORD kStartMenuWeight = 1024;

void ShowStartMenuLine(HWND progressDialog) {
    ShowProgressLines(progressDialog, "スタートメニューの更新中です...", nullptr, nullptr);
}

// Appends `text` to `path` (kPathSize bytes); false when it would not fit.
bool AppendPath(char* path, const char* text) {
    if (lstrlenA(path) + lstrlenA(text) >= kPathSize) return false;
    lstrcatA(path, text);
    return true;
}

// Programs folder, "\" and the group; false when the folder is unknown (a bare
// "\group" would name a folder at the root of some drive) or it does not fit.
bool GroupFolderPath(char* path, const char* group) {
    return GetProgramsFolder(path) && AppendPath(path, "\\") && AppendPath(path, group ? group : "");
}

// A COM interface pointer, released when it goes.
template <class Interface>
class ComPtr {
public:
    ComPtr() : pointer_(nullptr) {}
    ~ComPtr() {
        if (pointer_) pointer_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    Interface* operator->() const { return pointer_; }
    void** Out() { return reinterpret_cast<void**>(&pointer_); }

private:
    Interface* pointer_;
};

// The component library, initialised for the life of one shortcut.
class ComLibrary {
public:
    ComLibrary() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComLibrary() {
        if (initialised_) CoUninitialize();
    }
    ComLibrary(const ComLibrary&) = delete;
    ComLibrary& operator=(const ComLibrary&) = delete;

private:
    bool initialised_;
};

HRESULT SaveShellLink(const char* target, const char* linkPath, const char* description) {
    ComPtr<IShellLinkA> link;
    HRESULT status = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      link.Out());
    if (FAILED(status)) return status;
    link->SetPath(target);
    link->SetDescription(description);
    ComPtr<IPersistFile> file;
    status = link->QueryInterface(IID_IPersistFile, file.Out());
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
        if (SilentMode) return FALSE;
        char text[kTextSize];
        wsprintfA(text, "スタートメニューへの「%s」項目の追加ができませんでした。", group ? group : "");
        ShowCommandMessage(MessageOwner(progressDialog), MB_ICONEXCLAMATION, MB_OK | MB_ICONHAND, text);
        return FALSE;
    }
    MeterDone += kStartMenuWeight;
    return TRUE;
}

BOOL DeleteGroupCommand(HWND progressDialog) {
    if (!AddToStartMenu) return TRUE;
    const char* group = NextArgument();
    ShowStartMenuLine(progressDialog);
    char folder[kPathSize];
    if (GroupFolderPath(folder, group)) RemoveDirectoryA(folder);
    MeterDone += kStartMenuWeight;
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
    MeterDone += kStartMenuWeight;
    return TRUE;
}

BOOL DeleteIconCommand(HWND progressDialog) {
    if (!AddToStartMenu) return TRUE;
    const char* group = NextArgument();
    const char* item = NextArgument();
    ShowStartMenuLine(progressDialog);
    char linkPath[kPathSize];
    if (ShortcutPath(linkPath, group, item)) DeleteFileA(linkPath);
    MeterDone += kStartMenuWeight;
    return TRUE;
}
