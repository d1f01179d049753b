// The directives that prepare the run: the folder of an earlier installation
// from the registry, whether there was one, and waiting until the application
// to be replaced is no longer running. (welcome is the wizard's, startmeter and
// endmeter the meter's.)
#include "command_support.h"
#include "commands.h"
#include "routines.h"
#include "run_state.h"
#include "handles.h"
#include "script.h"
#include "util.h"

namespace {

// The name under which the install section copies the installer into the
// installation folder.
const char kUninstallerName[] = "Hbuninst.exe";

// The folder of this program file, when the run uninstalls and the program is
// the installed uninstaller: named Hbuninst.exe and held by that folder. The
// uninstaller lives in the folder it removes, so an uninstall cut short after
// it deleted the keys that named the folder still finds it when run again.
BOOL UninstallerFolder(char* folder) {
    char self[kPathSize];
    if (InstallMode || !OwnProgramPath(self)) return FALSE;
    const DWORD attributes = GetFileAttributesA(self);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return FALSE;
    lstrcpyA(folder, self);
    CutAtLastBackslash(folder);
    // A drive's root is never an installation folder of the script's.
    const bool driveRoot = StartsWithDrive(folder) && folder[2] == '\0';
    return folder[0] && !driveRoot && lstrcmpiA(self + lstrlenA(folder) + 1, kUninstallerName) == 0;
}

// Running means: a top-level window of that class, or a mutex of that name.
bool ApplicationRunning(const char* name) {
    if (FindWindowA(name, nullptr)) return true;
    const KernelHandle mutex(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name));
    return static_cast<bool>(mutex);
}

// Waits `milliseconds` while still answering messages that other threads send
// to this one's windows: a second installer that activates this one waits for
// those answers.
void PauseAnsweringSentMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < milliseconds; elapsed = GetTickCount() - start) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_SENDMESSAGE) == WAIT_OBJECT_0) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        }
    }
}

}  // namespace

// defaultdirfromreg root key value. An incomplete line or a root number
// outside 0 to 3 finds nothing; DefaultDir then stays as it was. A value that
// is missing leaves an empty DefaultDir to the installed uninstaller's own
// folder in an uninstall run.
BOOL DefaultDirFromRegDirective(HWND) {
    const HKEY root = RootKeyNumber(ReadNumber(NextArgument()));
    const char* keyPath = NextArgument();
    const char* valueName = NextArgument();
    if (!root || !keyPath || !valueName) return TRUE;
    char folder[kPathSize];
    // Full access, as the installer will write there: a user who may not
    // gets no default folder.
    if (ReadRegistryPath(root, keyPath, KEY_ALL_ACCESS, valueName, folder) ||
        (!DefaultDir[0] && UninstallerFolder(folder)))
        lstrcpyA(DefaultDir, folder);
    return TRUE;
}

BOOL DefaultDirChkDirective(HWND) {
    if (DefaultDir[0]) PreviousInstall = TRUE;
    return TRUE;
}

// chkclassexec name display-name: waits until the application has ended, or
// the user gives up. Without a name there is nothing to wait for.
BOOL ChkClassExecDirective(HWND) {
    const char* name = NextArgument();
    const char* displayName = NextArgument();
    if (!name) return TRUE;
    if (!displayName) displayName = name;
    for (;;) {
        if (!ApplicationRunning(name)) return TRUE;
        if (SilentMode) {
            // Nobody to ask: look again in a while rather than spin.
            PauseAnsweringSentMessages(1000);
            continue;
        }
        if (Message(nullptr, kApplicationRunning,
                    "現在動作中の%sを発見しました。\nセットアップを継続するには、動作中の%sを、\n"
                    "終了させてください。\n\n%sを終了させたら、[OK] を押してください。",
                    displayName, displayName, displayName) != IDOK) {
            CancelRequested = TRUE;  // the user gave up waiting
            return FALSE;
        }
    }
}
