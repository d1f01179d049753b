// The routines behind the commands that the rest of the program shares: file
// information and folders, registry roots, shortcuts, replacement at restart.
#pragma once

#include <windows.h>

// Files
// Whether `path` can be opened for reading, with its attributes, the times asked
// for (nullptr: not wanted) and the low 32 bits of its size. FALSE too when the
// times or the size asked for cannot be read.
BOOL GetFileInfo(const char* path, DWORD* attributes, FILETIME* creation, FILETIME* lastAccess,
                 FILETIME* lastWrite, DWORD* size);
// Creates every folder of `path`; failures (existing folders, drive roots,
// server and share names) are ignored, so it always answers TRUE.
BOOL MakeDirectoryPath(const char* path);
// Copies `source` over `destination`, then deletes the source whether or not
// that works. FALSE only when the copy failed.
BOOL MoveByCopy(const char* source, const char* destination);

// Registry
// The root key a script's number names, or nullptr outside 0 to 3.
HKEY RootKeyNumber(int number);

// How regsetvalue stores its data, by the script's type number; every other
// number stores nothing.
enum ValueTypeNumber { ValueTypeDword = 0, ValueTypeString = 1 };

// Start menu
// The current user's Programs folder (kPathSize bytes), without a trailing
// backslash. FALSE when the shell does not know it.
BOOL GetProgramsFolder(char* folder);
// Programs folder, "\", group and "\" when the group is not empty, item, ".lnk"
// into `path` (kPathSize bytes). FALSE when the folder is unknown or the
// result would not fit.
BOOL ShortcutPath(char* path, const char* group, const char* item);
HRESULT CreateShortcut(const char* target, const char* linkPath, const char* description);

// System
extern const char* const OsNameTable[4];
// Whether the file or folder `path` lies in `folder` or below it, however
// either is written (full or 8.3 names, "." and "..", case).
bool LiesInFolder(const char* path, const char* folder);
// Schedules `source` to become `destination` (or, for "NUL", to be deleted)
// when Windows next starts. Failures pass silently: always TRUE.
BOOL ReplaceAtRestart(const char* destination, const char* source);
// The Windows 95 way: adds "destination=source" to the [Rename] section of the
// WININIT.INI file at `wininitPath`, as the section's first entry when the
// file has one, otherwise through the profile call. Always TRUE.
BOOL AddWininitRenameEntry(const char* wininitPath, const char* destination, const char* source);
// The copying half of that: writes `in` to `out` line by line, CR LF line ends,
// with `entry` right after the first line that is exactly "[Rename]". Answers
// whether the entry was written; `ioOk` is cleared when a read or write failed.
BOOL CopyWithRenameEntry(HANDLE in, HANDLE out, const char* entry, BOOL* ioOk);
const char* MakeTempFileName();
BOOL RestartWindows();
