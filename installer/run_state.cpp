// The installer's process-wide run state.
#include "run_state.h"

#include <initializer_list>

#include "run_folder.h"

BOOL InstallMode = TRUE;
BOOL SilentMode;
BOOL NoRestartMode;
BOOL CleanupInstallMode;
BOOL CleanupUninstallMode;
char CleanupTarget[kPathSize];
char CleanupDir[kPathSize];
int CleanupRestart;

char AppName[kPathSize] = INSTALLER_NAME;
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

void ResetRunState() {
    ResetRunFolder();
    for (char* text : {CleanupTarget, CleanupDir, Caption, DefaultDir, FolderNote, CleanupProgram, CleanupArgs,
                       LineBuffer})
        text[0] = '\0';
    for (BOOL* flag : {&SilentMode, &NoRestartMode, &CleanupInstallMode, &CleanupUninstallMode, &IsNt, &PreviousInstall,
                       &AddToStartMenu, &RestartNeeded, &CancelRequested, &InInstallSection, &InUninstallSection,
                       &InIf95Block, &InIfNtBlock})
        *flag = FALSE;
    for (BOOL* flag : {&InstallMode, &StartPending, &StepOk}) *flag = TRUE;
    for (int* number : {&CleanupRestart, &ScriptLine, &LineCount, &MeterPos}) *number = 0;
    lstrcpyA(AppName, INSTALLER_NAME);
    MainWindow = nullptr;
    ProgressDialog = nullptr;
    MeterTotal = 0;
    MeterDone = 0;
}
