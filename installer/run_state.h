// RunState, the installer's run state: process-wide variables that every part of the
// program reads and writes for the life of the process.
#pragma once

#include <windows.h>

// The installer's own name: the application's until the script names it, the
// class of the keys the registry commands create, and the start of the main
// window's class name, by which a second installer finds the first.
#define INSTALLER_NAME "Wendle"

// Fixed buffer sizes: paths, and message texts and command lines.
constexpr int kPathSize = MAX_PATH;  // 260
constexpr int kTextSize = 1024;

// Command line and roles
extern BOOL InstallMode;           // TRUE installs, FALSE uninstalls
extern BOOL SilentMode;            // "-s": no pages, no progress dialog
extern BOOL NoRestartMode;         // "-norestart": Windows is never restarted
extern BOOL CleanupInstallMode;    // "-cleanupinstall": delete one file
extern BOOL CleanupUninstallMode;  // "-cleanupuninstall": delete, remove folder, restart
extern char CleanupTarget[kPathSize];
extern char CleanupDir[kPathSize];
extern int CleanupRestart;

// The run
extern char AppName[kPathSize];
extern char Caption[kPathSize];
extern BOOL IsNt;
extern char DefaultDir[kPathSize];
extern char FolderNote[kTextSize];
extern BOOL PreviousInstall;
extern BOOL AddToStartMenu;
extern BOOL RestartNeeded;
extern HWND MainWindow;
extern HWND ProgressDialog;
extern BOOL CancelRequested;
extern char CleanupProgram[kPathSize];
extern char CleanupArgs[kTextSize];
extern BOOL StartPending;

// The interpreter
extern int ScriptLine;
extern int LineCount;
extern char LineBuffer[kPathSize];
extern BOOL StepOk;
extern BOOL InInstallSection;
extern BOOL InUninstallSection;
extern BOOL InIf95Block;
extern BOOL InIfNtBlock;

// The progress meter
extern DWORD MeterTotal;
extern DWORD MeterDone;
extern int MeterPos;

// The exit codes, in the convention of Windows Installer that deployment
// tools read: done, cancelled by the user, stopped on a failure, done but
// Windows must restart first, and another installer already running.
enum ExitCode {
    kExitDone = 0,
    kExitCancelled = 1602,
    kExitFailed = 1603,
    kExitAlreadyRunning = 1618,
    kExitRestartNeeded = 3010,
};

// Puts every variable back to its value at program start (tests run many
// scripts in one process).
void ResetRunState();
