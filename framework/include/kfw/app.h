// The application object of the framework: one static instance per program,
// constructed before the program entry runs. The entry calls InitInstance once
// and runs the message loop only when it answers TRUE. The object also keeps
// the program's name and help file, and the printer the user chose.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include "handles.h"
#include "kfw/help.h"
#include "kfw/res.h"

class CWnd;
class CPrintDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called once after start-up; answering FALSE ends the program without a
    // message loop.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();

    // Every message taken from the queue by the framework (the main loop,
    // modal dialogs, AfxPumpMessage) comes here before it is dispatched; TRUE
    // when it was consumed. The default lets the target window and its
    // parents up to the main window pre-translate it (dialog keys and so on).
    virtual BOOL PreTranslateMessage(MSG* message);

    // Commands that no window handled; TRUE when taken. The standard help
    // command ID_HELP opens the context help of the window in front.
    virtual BOOL OnCommand(UINT id);
    void OnHelp();
    // The help file with a help engine command, owned by the main window.
    void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT);
    // Help as compiled HTML (the help path with ".CHM") on Windows 6.0 and
    // later, which have no WinHelp viewer; WinHelp as before on earlier
    // Windows and wherever the HTML Help engine cannot be loaded.
    void EnableHtmlHelp();
    bool UsesHtmlHelp() const { return m_htmlHelp.Loaded(); }
    // A WinHelp command (HELP_CONTEXT, HELP_FINDER, HELP_QUIT) given to the
    // help engine in use, for the help window owned by `owner`; FALSE when
    // the engine refused it.
    BOOL CallHelpEngine(HWND owner, UINT command, DWORD_PTR data);

    // The platform toolkit's standard look for dialog controls, including the
    // common controls that dialogs use.
    void Enable3dControls();

    // The printer selection: a DEVNAMES and a DEVMODE block (movable global
    // memory, either may be empty), owned here.
    HGLOBAL GetDevNames() const { return m_hDevNames.Get(); }
    HGLOBAL GetDevMode() const { return m_hDevMode.Get(); }
    // Takes over both blocks, freeing the ones held before.
    void SelectPrinter(HGLOBAL devNames, HGLOBAL devMode);
    // Brings the selection up to date: with no DEVNAMES (or when forced) the
    // system's default printer is taken; a selection that was the default
    // printer follows a changed default, and is dropped when there is none.
    void UpdatePrinterSelection(BOOL forceDefaults);
    // The selection in effect, lent to a print dialog record (not handed
    // over); FALSE when there is no printer.
    BOOL GetPrinterDeviceDefaults(PRINTDLGA* printDialog);
    // Runs a print or print-setup dialog on the selection and adopts the
    // blocks it returns. A selection that the dialog refuses as mismatched,
    // missing or no longer the default is dropped and the dialog runs again.
    INT_PTR DoPrintDialog(CPrintDialog* dialog);
    // The standard print-setup command.
    void OnFilePrintSetup();

    HINSTANCE m_hInstance;
    CWnd* m_pMainWnd;
    // The executable's file name without extension, and its path with ".HLP"
    // in place of the extension.
    const char* m_pszAppName;
    const char* m_pszHelpFilePath;
    const char* m_pszHtmlHelpFilePath;

private:
    char m_appName[MAX_PATH];
    char m_helpFilePath[MAX_PATH];
    char m_htmlHelpFilePath[MAX_PATH];
    kfw::HtmlHelpEngine m_htmlHelp;
    GlobalMemory m_hDevNames;
    GlobalMemory m_hDevMode;
};

// The one application object of the process, and its main window.
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();

// A message box captioned with the application's name and owned by the
// window in front. Without an icon in `type`, OK boxes get the exclamation
// icon and question boxes the question icon.
int AfxMessageBox(const char* text, UINT type = MB_OK);
int AfxMessageBox(UINT textId, UINT type = MB_OK);

// A string of the program's string table into `buffer`; FALSE (empty buffer)
// when it is missing.
BOOL AfxLoadString(UINT id, char* buffer, int capacity);

// String `id` with "%1" (and "%2") replaced; cut to the buffer when too long.
void AfxFormatString1(char* buffer, int capacity, UINT id, const char* first);
void AfxFormatString2(char* buffer, int capacity, UINT id, const char* first, const char* second);

// Takes one message from the queue (waiting for one), lets the application
// pre-translate it, then translates and dispatches it. Answers FALSE when the
// message was WM_QUIT; the quit is posted again so that enclosing loops end too.
BOOL AfxPumpMessage();
