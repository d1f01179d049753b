// The installer's start-up, its full-screen backdrop window with the window
// procedure that drives the script one posted message per line, and the two
// clean-up roles in which a copy of the program waits for the first to end.
#include "main_window.h"

#include "commands/routines.h"
#include "library_search.h"
#include "resource.h"
#include "run_state.h"
#include "handles.h"
#include "script.h"
#include "util.h"

namespace {

const char kWindowClass[] = INSTALLER_NAME "Class";
const char kCommandSeparators[] = " ";  // a tab does not separate here

HBITMAP g_tileBitmap = nullptr;
HBITMAP g_titleBitmap = nullptr;

// ---------------------------------------------------------------------------
// Painting

void TileBackground(HDC dc, HDC memory, const RECT& client) {
    BITMAP tile;
    if (!g_tileBitmap || !GetObjectA(g_tileBitmap, sizeof tile, &tile) || tile.bmWidth <= 0 || tile.bmHeight <= 0)
        return;
    ScopedSelectObject select(memory, g_tileBitmap);
    for (int y = client.top; y < client.bottom; y += tile.bmHeight)
        for (int x = client.left; x < client.right; x += tile.bmWidth)
            BitBlt(dc, x, y, tile.bmWidth, tile.bmHeight, memory, 0, 0, SRCCOPY);
}

// The monochrome title, drawn with the default colours: its dark pixels become
// white lettering at (10, 5) over a black shadow 4 pixels lower right; its
// light pixels leave the background alone.
void DrawTitle(HDC dc, HDC memory) {
    BITMAP title;
    if (!g_titleBitmap || !GetObjectA(g_titleBitmap, sizeof title, &title)) return;
    ScopedSelectObject select(memory, g_titleBitmap);
    BitBlt(dc, 14, 9, title.bmWidth, title.bmHeight, memory, 0, 0, SRCAND);
    BitBlt(dc, 10, 5, title.bmWidth, title.bmHeight, memory, 0, 0, MERGEPAINT);
}

void OnPaint(HWND window) {
    {
        ScopedPaint paint(window);
        RECT client;
        GetClientRect(window, &client);
        const OwnedDC memory(CreateCompatibleDC(paint.Get()));
        TileBackground(paint.Get(), memory.Get(), client);
        DrawTitle(paint.Get(), memory.Get());
    }
    // The backdrop is on screen before the first page shows.
    if (StartPending) {
        StartPending = FALSE;
        PostMessageA(window, WM_USER, 0, 0);
    }
}

// ---------------------------------------------------------------------------
// Clean-up roles

void OnCleanupInstallTimer(HWND window) {
    if (!DeleteCleanupTarget(CleanupTarget)) return;  // still held: next tick
    KillTimer(window, IDT_CLEANUPINSTALL);
    PostQuitMessage(0);
}

void OnCleanupUninstallTimer(HWND window) {
    char programFiles[kPathSize];
    CopyText(programFiles, GetProgramFilesDir(), kPathSize);
    if (!DeleteCleanupTarget(CleanupTarget)) return;
    KillTimer(window, IDT_CLEANUPUNINSTALL);
    RemoveFolderAndEmptyParents(CleanupDir, programFiles);
    if (CleanupRestart != 0) RestartWindows();
    PostQuitMessage(0);
}

void OnCreate(HWND window) {
    if (CleanupInstallMode) {
        SetTimer(window, IDT_CLEANUPINSTALL, 1000, nullptr);
    } else if (CleanupUninstallMode) {
        SetTimer(window, IDT_CLEANUPUNINSTALL, 1000, nullptr);
    } else if (SilentMode) {
        // Hidden and never painted: the script starts here instead.
        StartPending = FALSE;
        PostMessageA(window, WM_USER, 0, 0);
    }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam,
                                                          LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_TIMER:
        if (wParam == IDT_CLEANUPINSTALL) OnCleanupInstallTimer(window);
        if (wParam == IDT_CLEANUPUNINSTALL) OnCleanupUninstallTimer(window);
        return 0;
    case WM_DESTROY:
        // Closed before the run came to its end: nothing finished it.
        PostQuitMessage(IsCleanupRun() ? kExitDone : kExitCancelled);
        return 0;
    case WM_USER:
        RunScriptStep();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL DeleteCleanupTarget(const char* path) {
    // A failed query reads as all bits set, read-only included. A folder is
    // not a file to wait for either.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return TRUE;
    if (DeleteFileA(path)) return TRUE;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_WRITE_PROTECT;
}

void RemoveFolderAndEmptyParents(const char* folder, const char* stopAt) {
    char current[kPathSize];
    char stop[kPathSize];
    if (!CopyText(current, folder, kPathSize) || !CopyText(stop, stopAt, kPathSize)) return;
    // A trailing backslash is not a level of its own, and a volume is never
    // a folder of the product's.
    StripTrailingBackslash(current);
    StripTrailingBackslash(stop);
    while (current[0] && !IsVolumeRoot(current) && lstrcmpiA(current, stop) != 0 && RemoveDirectoryA(current))
        CutAtLastBackslash(current);
}

void ParseCommandLine(const char* commandLine) {
    // A private copy, as long as the command line: the tokenizer cuts it.
    const int size = lstrlenA(commandLine) + 1;
    char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (!copy) return;
    lstrcpyA(copy, commandLine);
    // An argument too long for its path buffer names nothing rather than a
    // shorter path, which could be another file.
    for (char* token = NextToken(copy, kCommandSeparators); token;
         token = NextToken(nullptr, kCommandSeparators)) {
        if (lstrcmpiA(token, "-i") == 0) {
            InstallMode = TRUE;
        } else if (lstrcmpiA(token, "-u") == 0) {
            InstallMode = FALSE;
        } else if (lstrcmpiA(token, "-s") == 0) {
            SilentMode = TRUE;
        } else if (lstrcmpiA(token, "-norestart") == 0) {
            NoRestartMode = TRUE;
        } else if (lstrcmpiA(token, "-cleanupinstall") == 0) {
            // The later clean-up option is the role.
            CleanupInstallMode = TRUE;
            CleanupUninstallMode = FALSE;
            CopyText(CleanupTarget, NextToken(nullptr, kCommandSeparators), kPathSize, kRefuse);
        } else if (lstrcmpiA(token, "-cleanupuninstall") == 0) {
            CleanupUninstallMode = TRUE;
            CleanupInstallMode = FALSE;
            CopyText(CleanupTarget, NextToken(nullptr, kCommandSeparators), kPathSize, kRefuse);
            CopyText(CleanupDir, NextToken(nullptr, kCommandSeparators), kPathSize, kRefuse);
            CleanupRestart = ReadNumber(NextToken(nullptr, kCommandSeparators));
        }
    }
    HeapFree(GetProcessHeap(), 0, copy);
}

BOOL IsCleanupRun() { return CleanupInstallMode || CleanupUninstallMode; }

BOOL ActivateRunningInstaller() {
    HWND running = FindWindowA(kWindowClass, nullptr);
    if (!running) return FALSE;
    HWND popup = GetLastActivePopup(running);
    if (!popup) popup = running;
    BringWindowToTop(popup);
    SetForegroundWindow(popup);
    if (IsIconic(popup)) ShowWindow(popup, SW_RESTORE);
    return TRUE;
}

BOOL RegisterMainWindowClass(HINSTANCE instance) {
    // The progress dialog holds a common-controls progress bar.
    InitCommonControlsFromSystem();
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassA(&windowClass)) return FALSE;
    g_titleBitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_TITLE));
    g_tileBitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_BACKDROP));
    return TRUE;
}

void UnregisterMainWindowClass(HINSTANCE instance) {
    if (g_titleBitmap) DeleteObject(g_titleBitmap);
    if (g_tileBitmap) DeleteObject(g_tileBitmap);
    g_titleBitmap = g_tileBitmap = nullptr;
    UnregisterClassA(kWindowClass, instance);
}

void PrepareRunState() {
    DefaultDir[0] = '\0';
    FindAppName(AppName, kPathSize);
    // The caption names the mode of the command line; the selection page does
    // not change it.
    CopyText(Caption, AppName, kPathSize);
    AppendText(Caption, " セットアップ", kPathSize);
    if (!InstallMode) AppendText(Caption, " (アンインストール)", kPathSize);
    FolderNote[0] = '\0';
    CleanupProgram[0] = '\0';
    IsNt = WindowsPlatform() != VER_PLATFORM_WIN32_WINDOWS;
}

HWND CreateMainWindow(HINSTANCE instance) {
    MainWindow = CreateWindowExA(0, kWindowClass, Caption,
                                 WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_MAXIMIZE,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                 instance, nullptr);
    if (!MainWindow) return nullptr;
    ShowWindow(MainWindow, SilentMode || IsCleanupRun() ? SW_HIDE : SW_SHOWMAXIMIZED);
    UpdateWindow(MainWindow);
    return MainWindow;
}

int RunMessageLoop() {
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // The modeless progress dialog gets its keys (Tab, Esc) first.
        if (ProgressDialog && IsDialogMessageA(ProgressDialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}

int RunSetup(HINSTANCE instance, const char* commandLine) {
    ParseCommandLine(commandLine);
    if (!IsCleanupRun() && ActivateRunningInstaller()) return kExitAlreadyRunning;
    if (!RegisterMainWindowClass(instance)) return kExitFailed;
    // The clean-up roles never run the script and so do without it.
    const BOOL haveScript = LoadScript();
    PrepareRunState();
    int code = kExitFailed;
    if (!haveScript && !IsCleanupRun())
        Message(nullptr, kScriptProblem, "セットアップスクリプトが見つかりません。");
    else if (CreateMainWindow(instance))
        code = RunMessageLoop();
    UnregisterMainWindowClass(instance);
    return code;
}
