// The wizard that the welcome directive runs, and the final pages.
#include "wizard.h"

#include "commands/command_support.h"
#include "commands/commands.h"
#include "run_state.h"
#include "script.h"
#include "util.h"

void CenterOverMainWindow(HWND page) {
    if (!MainWindow) return;
    RECT client;
    GetClientRect(MainWindow, &client);
    POINT centre = {(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ClientToScreen(MainWindow, &centre);
    RECT frame;
    GetWindowRect(page, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    MoveWindow(page, centre.x - width / 2, centre.y - height / 2, width, height, FALSE);
}

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// Sets a control's text from a format with one text argument.
void SetFormattedText(HWND page, int id, const char* format, const char* argument) {
    char text[kTextSize];  // wsprintfA never writes more than 1024 bytes
    wsprintfA(text, format, argument);
    SetDlgItemTextA(page, id, text);
}

// ---------------------------------------------------------------------------
// Wizard pages: what each shows when it opens and stores on Next

void OpenWelcome(HWND page) {
    SetFormattedText(page, IDC_WELCOME_LINE1, "%sの世界にようこそ。", AppName);
    SetDlgItemTextA(page, IDC_WELCOME_LINE2,
                    InstallMode ? "これからセットアップを開始します。" : "これからアンインストールを開始します。");
}

void OpenSelection(HWND page) { CheckRadioButton(page, IDC_SELECT_INSTALL, IDC_SELECT_UNINSTALL, IDC_SELECT_INSTALL); }

bool StoreSelection(HWND page) {
    InstallMode = IsDlgButtonChecked(page, IDC_SELECT_INSTALL) == BST_CHECKED;
    return true;
}

void OpenFolder(HWND page) {
    SendDlgItemMessageA(page, IDC_FOLDER_EDIT, EM_LIMITTEXT, kPathSize - 1, 0);
    SetDlgItemTextA(page, IDC_FOLDER_EDIT, DefaultDir);
    if (FolderNote[0]) SetDlgItemTextA(page, IDC_FOLDER_NOTE, FolderNote);
}

// The edit field limits characters, and a path of double-byte characters can
// still be longer than the folder buffer in bytes: such a folder is refused
// rather than cut.
bool StoreFolder(HWND page) {
    char folder[kTextSize];
    GetDlgItemTextA(page, IDC_FOLDER_EDIT, folder, sizeof folder);
    if (lstrlenA(folder) > kPathSize - 1) {
        Message(page, kWarning, "フォルダ名が長すぎます。");
        SetFocus(GetDlgItem(page, IDC_FOLDER_EDIT));
        return false;
    }
    lstrcpyA(DefaultDir, folder);
    return true;
}

void OpenUninstallConfirm(HWND page) {
    SetFormattedText(page, IDC_UNINSTALL_FOUND, "セットアップは、インストール済みの%sを見つけました。", AppName);
    SetDlgItemTextA(page, IDC_UNINSTALL_FOLDER, DefaultDir);
    SetFormattedText(page, IDC_UNINSTALL_TEXT, "このフォルダの%sを、アンインストールします。", AppName);
}

void OpenStartMenu(HWND page) {
    SetFormattedText(page, IDC_STARTMENU_TEXT, "%sを、スタートメニューへ登録しますか?", AppName);
    CheckRadioButton(page, IDC_STARTMENU_YES, IDC_STARTMENU_NO, IDC_STARTMENU_YES);
}

bool StoreStartMenu(HWND page) {
    AddToStartMenu = IsDlgButtonChecked(page, IDC_STARTMENU_YES) == BST_CHECKED;
    return true;
}

void OpenInstallConfirm(HWND page) {
    SetFormattedText(page, IDC_INSTALL_CONFIRM_TEXT, "%sを、以下のフォルダにインストールします。", AppName);
    SetDlgItemTextA(page, IDC_INSTALL_CONFIRM_FOLDER, DefaultDir);
}

struct PageBehaviour {
    int id;
    void (*open)(HWND page);
    bool (*store)(HWND page);  // nullptr: nothing to store
};

const PageBehaviour kPages[] = {
    {IDD_WELCOME, OpenWelcome, nullptr},
    {IDD_SELECT, OpenSelection, StoreSelection},
    {IDD_FOLDER, OpenFolder, StoreFolder},
    {IDD_UNINSTALL_CONFIRM, OpenUninstallConfirm, nullptr},
    {IDD_STARTMENU, OpenStartMenu, StoreStartMenu},
    {IDD_INSTALL_CONFIRM, OpenInstallConfirm, nullptr},
};

const PageBehaviour* FindPage(int id) {
    for (const PageBehaviour& page : kPages)
        if (page.id == id) return &page;
    return nullptr;
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(page, DWLP_USER, lParam);
        CenterOverMainWindow(page);
        if (const PageBehaviour* behaviour = FindPage(static_cast<int>(lParam))) behaviour->open(page);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            const PageBehaviour* behaviour = FindPage(static_cast<int>(GetWindowLongPtrA(page, DWLP_USER)));
            if (!behaviour || !behaviour->store || behaviour->store(page)) EndDialog(page, kPageNext);
            return TRUE;
        }
        case IDCANCEL: EndDialog(page, kPageCancel); return TRUE;
        case IDC_BACK: EndDialog(page, kPageBack); return TRUE;
        }
        return FALSE;
    case WM_CLOSE:  // the close box acts as Cancel
        EndDialog(page, kPageCancel);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK FinalPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CenterOverMainWindow(page);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) EndDialog(page, 1);
        if (LOWORD(wParam) == IDCANCEL) EndDialog(page, 0);
        return TRUE;
    case WM_CLOSE:
        EndDialog(page, 0);
        return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------------------
// The wizard's states

enum WizardState {
    kWelcomeState, kSelectionState, kFolderState, kStartMenuState,
    kInstallConfirmState, kUninstallConfirmState, kDoneState, kCancelledState, kFailedState
};

// The welcome line's flags: the only values that show their pages.
constexpr int kSelectionPageAllowed = 3;
constexpr int kStartMenuPageShown = 1;

struct Wizard {
    int selectionFlag;  // the selection page may show only at kSelectionPageAllowed
    int startMenuFlag;  // the Start-menu page shows only at kStartMenuPageShown
    BOOL entryMode;     // InstallMode when the wizard started
    char proposed[kPathSize];
};

// A page that is not to be shown, or any page in a silent run, counts as Next.
int Visit(int pageId, bool shown) { return shown && !SilentMode ? ShowPage(pageId) : kPageNext; }

// The proposed folder, under the root of the Windows drive when it names no
// drive. FALSE when that does not fit, or when Windows does not give its
// drive (named in `unavailable`).
BOOL FillDefaultDir(const char* proposed, UnavailableFolder* unavailable) {
    if (StartsWithDrive(proposed)) return CopyText(DefaultDir, proposed, kPathSize);
    char folder[kPathSize];
    if (!GetWindowsDriveRoot(folder, unavailable) || !AppendText(folder, proposed, kPathSize)) return FALSE;
    lstrcpyA(DefaultDir, folder);
    return TRUE;
}

// Shows a page as Visit does and answers the state after it: `next` on Next,
// `back` on Back, otherwise cancelled.
int PageStep(int pageId, bool shown, int next, int back) {
    const int result = Visit(pageId, shown);
    return result == kPageNext ? next : result == kPageBack ? back : kCancelledState;
}

int OnWelcomeState(Wizard& wizard) {
    InstallMode = wizard.entryMode;
    return PageStep(IDD_WELCOME, true, kSelectionState, kCancelledState);
}

int OnSelectionState(Wizard& wizard) {
    const bool shown = wizard.entryMode && wizard.selectionFlag == kSelectionPageAllowed && PreviousInstall;
    switch (Visit(IDD_SELECT, shown)) {
    case kPageBack: return kWelcomeState;
    case kPageNext: {
        UnavailableFolder unavailable;
        if (!DefaultDir[0] && !FillDefaultDir(wizard.proposed, &unavailable)) {
            ReportExpansionFailure(ScriptLine, unavailable);
            return kFailedState;
        }
        return InstallMode ? kFolderState : kUninstallConfirmState;
    }
    default: return kCancelledState;
    }
}

int OnFolderState(Wizard&) {
    return PageStep(IDD_FOLDER, InstallMode, kStartMenuState, PreviousInstall ? kSelectionState : kWelcomeState);
}

int OnStartMenuState(Wizard& wizard) {
    return PageStep(IDD_STARTMENU, InstallMode && wizard.startMenuFlag == kStartMenuPageShown, kInstallConfirmState,
                    kFolderState);
}

int OnInstallConfirmState(Wizard& wizard) {
    return PageStep(IDD_INSTALL_CONFIRM, InstallMode, kDoneState,
                    wizard.startMenuFlag == kStartMenuPageShown ? kStartMenuState : kFolderState);
}

int OnUninstallConfirmState(Wizard& wizard) {
    return PageStep(IDD_UNINSTALL_CONFIRM, !InstallMode, kDoneState,
                    wizard.entryMode ? kSelectionState : kWelcomeState);
}

int (*const kWizardStates[])(Wizard&) = {
    OnWelcomeState,        OnSelectionState,       OnFolderState,
    OnStartMenuState,      OnInstallConfirmState, OnUninstallConfirmState,
};

}  // namespace

int ShowPage(int pageId) {
    const INT_PTR result =
        DialogBoxParamA(Instance(), MAKEINTRESOURCEA(pageId), MainWindow, PageProc, static_cast<LPARAM>(pageId));
    return result == kPageNext || result == kPageBack ? static_cast<int>(result) : kPageCancel;
}

int ShowFinalPage(int pageId) {
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(pageId), MainWindow, FinalPageProc, 0) == 1 ? 1 : 0;
}

// welcome selection-flag start-menu-flag proposed-folder [folder-note]
BOOL WelcomeDirective(HWND) {
    Wizard wizard;
    wizard.selectionFlag = ReadNumber(NextArgument());
    wizard.startMenuFlag = ReadNumber(NextArgument());
    const char* folder = NextArgument();
    const char* note = NextArgument();
    UnavailableFolder unavailable;
    if (!ExpandVariables(wizard.proposed, folder, kPathSize, &unavailable)) {
        ReportExpansionFailure(ScriptLine, unavailable);
        return FALSE;
    }
    if (note) CopyText(FolderNote, note, kTextSize);
    wizard.entryMode = InstallMode;
    int state = kWelcomeState;
    while (state < kDoneState) state = kWizardStates[state](wizard);
    if (state == kCancelledState) CancelRequested = TRUE;
    return state == kDoneState;
}
