// The uninstall run's own folder and its held clean-up copy; see run_folder.h.
#include "run_folder.h"

#include <new>

#include "folder_rights.h"
#include "run_state.h"
#include "handles.h"
#include "system_library.h"
#include "util.h"

namespace {

// Made when the run first asks for its folder: a program file carries every
// static buffer in full, and most runs never need these.
struct RunFolderState {
    char folder[kPathSize];
    char heldPath[kPathSize];
    KernelHandle heldCopy;
};
RunFolderState* g_state = nullptr;

RunFolderState* State() {
    if (!g_state) g_state = new (std::nothrow) RunFolderState();
    return g_state;
}

using RandomProc = BOOLEAN(WINAPI*)(PVOID, ULONG);

// 64 bits no one can tell in advance: the system's random numbers where it
// has them (XP and later), otherwise the clocks, the process and where the
// stack lies, mixed. The folder is made new and fails when it exists, so a name that is
// guessed can only make a run try the next one.
void RandomNumber(DWORD number[2]) {
    const auto random = LoadedFunction<RandomProc>("ADVAPI32.DLL", "SystemFunction036");
    if (random && random(number, 2 * sizeof number[0])) return;
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    number[0] = (counter.LowPart ^ static_cast<DWORD>(reinterpret_cast<DWORD_PTR>(&counter))) * 0x9E3779B1u;
    number[1] = (GetTickCount() ^ (GetCurrentProcessId() << 16) ^ counter.HighPart) * 0x85EBCA6Bu ^ number[0];
}

// `folder`, a backslash unless it ends in one, "hb-", 16 hex digits, ".tmp".
bool NewFolderName(char* path, const char* folder) {
    DWORD number[2];
    RandomNumber(number);
    char name[32];
    wsprintfA(name, "hb-%08lx%08lx.tmp", number[0], number[1]);
    return JoinPath(path, folder, name);
}

bool MakeRunFolder(char* made) {
    char temporary[kPathSize];
    if (!WholePath(GetTempPathA(kPathSize, temporary))) return false;
    ProtectedFolderRights rights(false);
    SECURITY_ATTRIBUTES* attributes = RunsAsAdministrator() ? rights.Attributes() : nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char folder[kPathSize];
        if (!NewFolderName(folder, temporary)) return false;
        // Never a folder that exists: whoever made it could have put
        // anything inside.
        if (CreateDirectoryA(folder, attributes)) {
            lstrcpyA(made, folder);
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool CopyBytes(HANDLE in, HANDLE out) {
    BYTE buffer[4096];
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        if (!WriteFile(out, buffer, got, &written, nullptr) || written != got) return false;
    }
}

// Whether the two files hold the same bytes, each read from its start.
bool SameBytes(HANDLE one, HANDLE other) {
    const DWORD size = GetFileSize(one, nullptr);
    if (size == INVALID_FILE_SIZE || size != GetFileSize(other, nullptr)) return false;
    if (SetFilePointer(one, 0, nullptr, FILE_BEGIN) != 0 || SetFilePointer(other, 0, nullptr, FILE_BEGIN) != 0)
        return false;
    BYTE first[4096], second[4096];
    for (DWORD done = 0; done < size;) {
        DWORD gotFirst = 0, gotSecond = 0;
        if (!ReadFile(one, first, sizeof first, &gotFirst, nullptr) ||
            !ReadFile(other, second, sizeof second, &gotSecond, nullptr) || gotFirst == 0 ||
            gotFirst != gotSecond)
            return false;
        for (DWORD i = 0; i < gotFirst; ++i)
            if (first[i] != second[i]) return false;
        done += gotFirst;
    }
    return true;
}

HANDLE OpenForReading(const char* path, DWORD share) {
    return CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

BOOL RunFolder(char* folder) {
    RunFolderState* state = State();
    if (!state || (!state->folder[0] && !MakeRunFolder(state->folder))) return FALSE;
    lstrcpyA(folder, state->folder);
    return TRUE;
}

bool LiesInRunFolder(const char* path) {
    if (!g_state || !g_state->folder[0]) return false;
    const int length = lstrlenA(g_state->folder);
    // The folder's name is ASCII, so a byte count ends a whole character.
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, length, g_state->folder, length) ==
               CSTR_EQUAL &&
           path[length] == '\\';
}

BOOL MakeHeldCopy(const char* source, const char* destination) {
    ReleaseHeldCopy();
    RunFolderState* state = State();
    const KernelHandle in(OpenForReading(source, FILE_SHARE_READ | FILE_SHARE_WRITE));
    if (!state || !in) return FALSE;
    // Held from its creation: others may read it, nothing more.
    KernelHandle out(CreateFileA(destination, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return FALSE;
    if (!CopyBytes(in.Get(), out.Get())) {
        out.Close();
        DeleteFileA(destination);
        return FALSE;
    }
    // A program cannot be started from a file open for writing: the hold
    // passes to a handle that only reads, through one that lets the writer
    // go. Neither ever lets the file be renamed or deleted; a writer that
    // came in between keeps the last hold from being had, and a change it
    // made is found before the start.
    KernelHandle passing(OpenForReading(destination, FILE_SHARE_READ | FILE_SHARE_WRITE));
    out.Close();
    state->heldCopy = KernelHandle(OpenForReading(destination, FILE_SHARE_READ));
    if (state->heldCopy) lstrcpyA(state->heldPath, destination);
    return TRUE;
}

bool HeldCopyIsThisProgram(const char* program) {
    char self[kPathSize];
    if (!g_state || !g_state->heldCopy || !OwnProgramPath(self) || lstrcmpiA(program, g_state->heldPath) != 0)
        return false;
    const KernelHandle running(OpenForReading(self, FILE_SHARE_READ | FILE_SHARE_WRITE));
    return running && SameBytes(running.Get(), g_state->heldCopy.Get());
}

void ReleaseHeldCopy() {
    if (!g_state) return;
    g_state->heldCopy.Close();
    g_state->heldPath[0] = '\0';
}

void ResetRunFolder() {
    delete g_state;
    g_state = nullptr;
}
