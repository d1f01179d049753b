// The uninstall run's folder of its own in the temporary folder: its
// clean-up copy is made there, held open until it is started, and started
// only when it is this very program. No one else can have put a file there,
// and no one can change the copy before it runs.
#pragma once

#include <windows.h>

// The run's own folder, without a trailing backslash, into `folder`
// (kPathSize bytes): made new at the first call of the run, under a name no
// one can guess; on NT, when the run has an administrator's rights, only
// administrators and the system may change it. FALSE when none could be made.
BOOL RunFolder(char* folder);
// Whether `path` names something directly inside the run's folder, once made.
bool LiesInRunFolder(const char* path);

// Copies `source` to the new file `destination` and holds the copy open from
// its creation on, so that no one can write, rename or delete it until it is
// started. FALSE when the copy could not be written; a copy that could not
// be held afterwards is still there, but will not be started.
BOOL MakeHeldCopy(const char* source, const char* destination);
// Whether `program` is the copy held and byte for byte this program's file:
// only then may it be started.
bool HeldCopyIsThisProgram(const char* program);
// Lets go of the held copy (once it has been started).
void ReleaseHeldCopy();

// Forgets the folder and lets go of the copy: tests run many scripts in one
// process.
void ResetRunFolder();
