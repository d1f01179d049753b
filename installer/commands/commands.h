// The script's commands, one handler per keyword, each following the handler
// contract of script.h, and the routines they share with the rest of the program.
#pragma once

#include <windows.h>

// File commands
BOOL CopyCommand(HWND progressDialog);
BOOL MoveCommand(HWND progressDialog);
BOOL DelCommand(HWND progressDialog);
BOOL MkdirCommand(HWND progressDialog);
BOOL RmdirCommand(HWND progressDialog);

// Whether `path` can be opened for reading, with its attributes, the times asked
// for (nullptr: not wanted) and the low 32 bits of its size.
BOOL GetFileInfo(const char* path, DWORD* attributes, FILETIME* creation, FILETIME* lastAccess,
                 FILETIME* lastWrite, DWORD* size);
BOOL MakeDirectoryPath(const char* path);
BOOL MoveByCopy(const char* source, const char* destination);
void StripTrailingBackslash(char* path);

// Registry commands
BOOL RegCreateKeyCommand(HWND progressDialog);
BOOL RegDeleteKeyCommand(HWND progressDialog);
BOOL RegSetValueCommand(HWND progressDialog);
BOOL RegDelValueCommand(HWND progressDialog);

// The root key a script's number names, or nullptr outside 0 to 3.
HKEY RootKeyNumber(int number);

// Start-menu commands
BOOL DdeStartCommand(HWND progressDialog);
BOOL CreateGroupCommand(HWND progressDialog);
BOOL DeleteGroupCommand(HWND progressDialog);
BOOL AddIconCommand(HWND progressDialog);
BOOL DeleteIconCommand(HWND progressDialog);

// The current user's Programs folder, without a trailing backslash.
BOOL GetProgramsFolder(char* folder);
HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description);

// System commands
BOOL ChkOsTypeCommand(HWND progressDialog);
BOOL ChkOsVersionCommand(HWND progressDialog);
BOOL MoveAtRebootCommand(HWND progressDialog);
BOOL CleanupInstallCommand(HWND progressDialog);
BOOL CleanupUninstallCommand(HWND progressDialog);

extern const char* const OsNameTable[4];
BOOL ReplaceAtRestart(const char* destination, const char* source);
const char* MakeTempFileName();
BOOL RestartWindows();
