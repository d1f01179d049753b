// The installer's helpers: bounded multibyte-aware text copies, paths, a
// registry text, and the one way every part of the program tells the user.
#pragma once

#include <windows.h>

// Bytes of the character at `p`: a lead byte followed by the terminator counts
// as one byte, so that a cut-off character never carries a walk past the end.
int CharWidth(const char* p);

// What a bounded copy does with a text that does not fit; either way the
// answer is FALSE and the buffer stays terminated.
enum Overflow {
    kCutAtCharacter,  // keeps the text's first whole characters
    kRefuse,          // adds nothing of it
};
// Bounded, multibyte-aware copies into a buffer of `size` bytes. A nullptr
// source copies as an empty text.
BOOL CopyText(char* buffer, const char* text, int size, Overflow overflow = kCutAtCharacter);
BOOL AppendText(char* buffer, const char* text, int size, Overflow overflow = kCutAtCharacter);

// Whether `text` ends in a backslash (a whole character, never a trail byte).
bool EndsWithBackslash(const char* text);
// Removes one trailing backslash (a whole character, never a trail byte).
void StripTrailingBackslash(char* path);
// Ends `path` at its last backslash (multibyte-aware); no backslash: empty.
void CutAtLastBackslash(char* path);
// Whether `path` starts with a drive: a letter and a colon.
bool StartsWithDrive(const char* path);
// Whether `path` (without a trailing backslash) names a whole volume: a drive
// ("D:", which RemoveDirectoryA would take as the current folder on D), or a
// server or its share ("\\server", "\\server\share").
bool IsVolumeRoot(const char* path);

// Appends `text` to `path` (kPathSize bytes); false when it would not fit.
bool AppendPath(char* path, const char* text);
// `folder`, a backslash unless it ends in one, and `name` into `path`
// (kPathSize bytes); false when too long.
bool JoinPath(char* path, const char* folder, const char* name);

// The running Windows' version; FALSE when the system does not say.
BOOL QueryWindowsVersion(OSVERSIONINFOA* version);
// Its platform (VER_PLATFORM_WIN32_...); 0 when the system does not say.
DWORD WindowsPlatform();

// Whether a path call's answer, a length, is a whole path in its buffer of
// kPathSize bytes (too long a path is answered with its length, failure with 0).
bool WholePath(DWORD length);
// The full path of this program file into `path` (kPathSize bytes).
bool OwnProgramPath(char* path);
// The text value `valueName` of the key `keyPath` opened with `access`, of
// whatever type, into `path` (kPathSize bytes); false when missing or longer.
bool ReadRegistryPath(HKEY root, const char* keyPath, REGSAM access, const char* valueName, char* path);
// The full form of `path` into `full` (kPathSize bytes): with its drive, and
// without doubled backslashes or "." and ".." parts.
bool FullPath(const char* path, char* full);
// The 8.3 form of the existing `path` into `shortForm` (kPathSize bytes).
bool ShortPath(const char* path, char* shortForm);
// Whether the full path `path` starts with the full folder `folder` and goes
// on below it, without regard to case. The folder gets a trailing backslash,
// so that C:\A never takes in C:\AB.
bool StartsWithFolder(const char* path, const char* folder);

// The kinds of message: buttons and icon (MB_ flags), the sound before it
// (an MB_ICON... value above them), and the rules below.
enum : UINT {
    kShownWhenSilent = 0x01000000,  // a silent run shows it too
    kOverMainWindow = 0x02000000,   // owned by the main window, even with a dialog open
    kWaitingCaption = 0x04000000,   // under the caption of the wait for an application
};
constexpr UINT BeepSound(UINT icon) { return icon << 16; }
enum MessageKind : UINT {
    // The script cannot be run as written, or there is none; this Windows is
    // not one it runs on.
    kScriptProblem = MB_OK | MB_ICONHAND | BeepSound(MB_ICONHAND) | kShownWhenSilent,
    kPlatformRefused = kScriptProblem | kOverMainWindow,
    // What a command needs is not there, or cannot be made; its work failed.
    kNotFound = MB_OK | MB_ICONHAND | BeepSound(MB_ICONEXCLAMATION),
    kFailed = MB_OK | MB_ICONHAND | BeepSound(MB_ICONHAND),
    kWarning = MB_OK | MB_ICONEXCLAMATION | BeepSound(MB_ICONEXCLAMATION),
    // Whether a newer file may be overwritten (a silent run does); whether an
    // application to be replaced has ended.
    kOverwriteQuestion = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON1 | BeepSound(MB_ICONEXCLAMATION),
    kApplicationRunning =
        MB_OKCANCEL | MB_ICONEXCLAMATION | BeepSound(MB_ICONEXCLAMATION) | kOverMainWindow | kWaitingCaption,
};

// Beeps, then shows the text that `format` makes of the arguments after it
// (as wsprintfA does, at most 1024 bytes) under the run's caption, owned by
// `dialog` (a command's progress dialog, a wizard page) or, without one, by
// the main window. Answers the button chosen; in a silent run a kind that is
// not shown answers its first button (OK or Yes).
int Message(HWND dialog, MessageKind kind, const char* format, ...);
