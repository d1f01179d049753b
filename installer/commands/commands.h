// The script's handlers, one per keyword, each following the handler contract
// of script.h: the directives that prepare the run, and the commands.
#pragma once

#include <windows.h>

// Directives: the earlier installation, the wizard, the wait for a running
// application, and the meter.
BOOL DefaultDirFromRegDirective(HWND progressDialog);
BOOL DefaultDirChkDirective(HWND progressDialog);
BOOL WelcomeDirective(HWND progressDialog);
BOOL ChkClassExecDirective(HWND progressDialog);
BOOL StartMeterDirective(HWND progressDialog);
BOOL EndMeterDirective(HWND progressDialog);

// File commands
BOOL CopyCommand(HWND progressDialog);
BOOL MoveCommand(HWND progressDialog);
BOOL DelCommand(HWND progressDialog);
BOOL MkdirCommand(HWND progressDialog);
BOOL RmdirCommand(HWND progressDialog);

// Registry commands
BOOL RegCreateKeyCommand(HWND progressDialog);
BOOL RegDeleteKeyCommand(HWND progressDialog);
BOOL RegSetValueCommand(HWND progressDialog);
BOOL RegDelValueCommand(HWND progressDialog);

// Start-menu commands
BOOL DdeStartCommand(HWND progressDialog);
BOOL CreateGroupCommand(HWND progressDialog);
BOOL DeleteGroupCommand(HWND progressDialog);
BOOL AddIconCommand(HWND progressDialog);
BOOL DeleteIconCommand(HWND progressDialog);

// System commands
BOOL ChkOsTypeCommand(HWND progressDialog);
BOOL ChkOsVersionCommand(HWND progressDialog);
BOOL MoveAtRebootCommand(HWND progressDialog);
BOOL CleanupInstallCommand(HWND progressDialog);
BOOL CleanupUninstallCommand(HWND progressDialog);
