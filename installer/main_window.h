// The installer's start-up, its full-screen backdrop window with the window
// procedure that drives the script, and the two clean-up roles.
#pragma once

#include <windows.h>

// The whole program: command line, single instance, window, message loop.
// Returns the exit code (ExitCode); the clean-up roles end with kExitDone.
int RunSetup(HINSTANCE instance, const char* commandLine);

// The steps of RunSetup, for tests that run a script of their own.
void ParseCommandLine(const char* commandLine);
BOOL IsCleanupRun();
// Activates the window of an installer that is already running; FALSE when
// there is none.
BOOL ActivateRunningInstaller();
BOOL RegisterMainWindowClass(HINSTANCE instance);
// Start-up after the script is loaded: the application name, the caption,
// the platform, and the values that every run starts with.
void PrepareRunState();
// Creates and shows the main window; its first paint posts the first step.
HWND CreateMainWindow(HINSTANCE instance);
// Until the quit request; returns its code.
int RunMessageLoop();
void UnregisterMainWindowClass(HINSTANCE instance);

// The window procedure, the program's only exported symbol.
extern "C" __declspec(dllexport) LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam,
                                                          LPARAM lParam);

// Clean-up: deletes `path` unless it is read-only or missing. TRUE when the
// waiting is over (deleted, read-only, missing or gone meanwhile); FALSE while
// the file is still held by a process and should be tried again.
BOOL DeleteCleanupTarget(const char* path);
// Removes `folder` and then each parent that has become empty, stopping below
// `stopAt` (compared without regard to case), below a drive or a network
// share, and at the first folder that cannot be removed.
void RemoveFolderAndEmptyParents(const char* folder, const char* stopAt);

// Timer ids of the clean-up roles.
enum { IDT_CLEANUPINSTALL = 1000, IDT_CLEANUPUNINSTALL = 1001 };
