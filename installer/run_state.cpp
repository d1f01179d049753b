// The installer's process-wide run state.
#include "run_state.h"

BOOL InstallMode = TRUE;
BOOL SilentMode;
BOOL CleanupInstallMode;
BOOL CleanupUninstallMode;
char CleanupTarget[kPathSize];
char CleanupDir[kPathSize];
int CleanupRestart;

char AppName[kPathSize] = "Wendle";
char Caption[kPathSize];
BOOL IsNt;
char DefaultDir[kPathSize];
char FolderNote[kTextSize];
BOOL PreviousInstall;
BOOL AddToStartMenu;
BOOL RestartNeeded;
HWND MainWindow;
HWND ProgressDialog;
BOOL CancelRequested;
char CleanupProgram[kPathSize];
char CleanupArgs[kTextSize];
BOOL StartPending = TRUE;

int ScriptLine;
int LineCount;
char LineBuffer[kPathSize];
BOOL StepOk = TRUE;
BOOL InInstallSection;
BOOL InUninstallSection;
BOOL InIf95Block;
BOOL InIfNtBlock;

DWORD MeterTotal;
DWORD MeterDone;
int MeterPos;

HWND MessageOwner(HWND progressDialog) { return progressDialog ? progressDialog : MainWindow; }

void ResetRunState() {
    InstallMode = TRUE;
    SilentMode = FALSE;
    CleanupInstallMode = FALSE;
    CleanupUninstallMode = FALSE;
    CleanupTarget[0] = '\0';
    CleanupDir[0] = '\0';
    CleanupRestart = 0;
    lstrcpyA(AppName, "Wendle");
    Caption[0] = '\0';
    IsNt = FALSE;
    DefaultDir[0] = '\0';
    FolderNote[0] = '\0';
    PreviousInstall = FALSE;
    AddToStartMenu = FALSE;
    RestartNeeded = FALSE;
    MainWindow = nullptr;
    ProgressDialog = nullptr;
    CancelRequested = FALSE;
    CleanupProgram[0] = '\0';
    CleanupArgs[0] = '\0';
    StartPending = TRUE;
    ScriptLine = 0;
    LineCount = 0;
    LineBuffer[0] = '\0';
    StepOk = TRUE;
    InInstallSection = FALSE;
    InUninstallSection = FALSE;
    InIf95Block = FALSE;
    InIfNtBlock = FALSE;
    MeterTotal = 0;
    MeterDone = 0;
    MeterPos = 0;
}
