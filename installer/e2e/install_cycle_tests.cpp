// The whole life of an installation under Wine: the real Setup.exe with its own
// script, run from a folder laid out like the distribution, installs the copier
// silently and through its pages, again over an earlier installation, and while
// the copier runs; the uninstaller, started as its uninstall entry says, takes
// everything away again, itself included, on both platform families, its last
// copy going at the next restart. Screenshots of every page land in the test's
// artifact folder.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "dialogs.h"
#include "files.h"
#include "registry.h"
#include "resource.h"
#include "setup_driver.h"
#include "setup_texts.h"
#include "wintest.h"

using namespace setupdrive;
using namespace setuptext;
using namespace wintest;

namespace {

// ---------------------------------------------------------------------------
// What the script installs

const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\KOPIWA.EXE";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kopiwa";
const char kVersionKey[] = "SOFTWARE\\Harbel\\Kopiwa\\1.11";
const char kProductKey[] = "SOFTWARE\\Harbel\\Kopiwa";
const char kPrinterKey[] = "Software\\Harbel\\Kopiwa\\Printer";
const char kStatusKey[] = "Software\\Harbel\\Kopiwa\\Status";
const char kSettingsKey[] = "Software\\Harbel\\Kopiwa";
const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kCopierMutex[] = "HarBel KOPIWA Mutex";

// The distribution folder's files, and where the script puts each.
struct DistributedFile {
    const char* source;
    const char* installedAs;
};
const DistributedFile kFiles[] = {
    {"Kopiwa.exe", "Kopiwa.exe"}, {"Kopiwa.hlp", "Kopiwa.hlp"}, {"Kopiwa.cnt", "Kopiwa.cnt"},
    {"Kopiwa.chm", "Kopiwa.chm"}, {"Readme.txt", "Readme.txt"}, {"Setup.exe", "Hbuninst.exe"},
};

std::string DefaultFolder() { return "C:\\Program Files\\Harbel\\Kopiwa"; }

// ---------------------------------------------------------------------------
// Files

DWORD FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

// Moves a file's last-write time a day into the future: it is then newer than
// anything the installer brings.
bool MakeNewer(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME time;
    SystemTimeToFileTime(&now, &time);
    ULARGE_INTEGER value = {{time.dwLowDateTime, time.dwHighDateTime}};
    value.QuadPart += 24ULL * 3600 * 10000000;
    time = {value.LowPart, value.HighPart};
    const bool set = SetFileTime(file, nullptr, nullptr, &time) != FALSE;
    CloseHandle(file);
    return set;
}

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return length && length < MAX_PATH ? std::string(buffer, length) : path;
}

std::string WindowsFile(const char* name) { return WindowsDir() + "\\" + name; }

// Where the uninstaller copied itself before: one name in the shared
// temporary folder, which anyone could have put a file at.
std::string OldTemporaryUninstaller() { return TempFolder() + "Hbuninst.exe"; }

// The folders of their own that uninstall runs made in the temporary folder.
std::vector<std::string> RunFolders() {
    std::vector<std::string> folders;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((TempFolder() + "hb-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return folders;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(TempFolder() + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return folders;
}

// The folder of the uninstaller's copy: a new one of its run's own.
std::string RunFolderOfCopy(const std::string& copy) { return copy.substr(0, copy.rfind('\\')); }

// A folder laid out like the distribution, with the build's own files.
std::string StageDistribution() {
    const std::string disk = "C:\\KOPIWA Disk1";
    MakeFolders(disk);
    for (const DistributedFile& file : kFiles)
        EXPECT_TRUE(CopyFileA((DistDir() + "\\" + file.source).c_str(), (disk + "\\" + file.source).c_str(), FALSE))
            << file.source;
    return disk;
}

// ---------------------------------------------------------------------------
// Registry

// A text value, or "(missing)".
std::string TextValue(HKEY root, const std::string& path, const char* name) {
    const RegistryValue value = ReadRegistryValue(root, path, name);
    return value.found && value.type == REG_SZ ? value.data.c_str() : "(missing)";
}

// Subkeys and values of a key; -1 each when it does not exist.
struct KeyContents {
    int subkeys = -1;
    int values = -1;
};
KeyContents Contents(HKEY root, const std::string& path) {
    KeyContents contents;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return contents;
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS) {
        contents.subkeys = static_cast<int>(subkeys);
        contents.values = static_cast<int>(values);
    }
    RegCloseKey(key);
    return contents;
}

// The NT list of renames at restart: pairs of paths, the second empty for a
// deletion.
std::vector<std::string> PendingRenames() {
    std::vector<std::string> entries;
    std::string data = ReadRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, "PendingFileRenameOperations").data;
    if (!data.empty() && data.back() == '\0') data.pop_back();  // the list's own end
    size_t start = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] != '\0') continue;
        entries.push_back(data.substr(start, i - start));
        start = i + 1;
    }
    return entries;
}

// ---------------------------------------------------------------------------
// What an installation leaves: every file and folder of drive C and every key
// under the software branches, compared before and after.

struct SystemState {
    std::set<std::string> files;  // folders end in a backslash
    std::set<std::string> keys;
};

SystemState TakeSnapshot() {
    SystemState state;
    for (const auto& entry : wintest::ListFiles("C:"))
        state.files.insert(entry.first + (entry.second == "folder" ? "\\" : ""));
    const struct {
        HKEY root;
        const char *path, *label;
    } branches[] = {{HKEY_LOCAL_MACHINE, "SOFTWARE", "HKLM"}, {HKEY_CURRENT_USER, "Software", "HKCU"}};
    for (const auto& branch : branches)
        for (const auto& entry : wintest::ListRegistry(branch.root, branch.path))
            if (entry.second == "key") state.keys.insert(std::string(branch.label) + "\\" + entry.first);
    return state;
}

std::vector<std::string> Added(const std::set<std::string>& before, const std::set<std::string>& after) {
    std::vector<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    return added;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

// ---------------------------------------------------------------------------
// The Start menu

std::string ShortcutPath() {
    char programs[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE);
    return std::string(programs) + "\\KOPIWA.lnk";
}

// ---------------------------------------------------------------------------
// Restarts

// Stands for a program that keeps Windows from restarting: a hidden window of
// the test that is asked first whether the session may end, counts the
// request and says no. Under Wine a restart is wineboot ending the session,
// which would end this test too; refused, it does nothing, and the test
// carries out the restart's start-up work itself when it chooses.
class RestartWatcher {
public:
    RestartWatcher() : window_(nullptr) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KopiwaTestRestartWatcher";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, windowClass.lpszClassName, "restart watcher", WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
        requests_ = 0;
    }
    ~RestartWatcher() { DestroyWindow(window_); }
    RestartWatcher(const RestartWatcher&) = delete;
    RestartWatcher& operator=(const RestartWatcher&) = delete;

    bool ok() const { return window_ != nullptr; }
    int Requests() const { return requests_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_QUERYENDSESSION) {
            ++requests_;
            return FALSE;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    static int requests_;
    HWND window_;
};
int RestartWatcher::requests_ = 0;

// ---------------------------------------------------------------------------
// Processes

int ProcessesNamed(const char* exeName) {
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, exeName) == 0) ++count;
    CloseHandle(snapshot);
    return count;
}

// A text of another process, as UTF-16 in its memory, in the ANSI code page.
std::string ReadRemoteText(HANDLE process, const UNICODE_STRING& text) {
    std::wstring wide(text.Length / sizeof(WCHAR), L'\0');
    if (wide.empty() || !ReadProcessMemory(process, text.Buffer, &wide[0], text.Length, nullptr)) return "";
    char narrow[2048] = "";
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

// A process's program file and command line, read from its own memory where
// the platform keeps them; empty when they cannot be read.
struct StartedAs {
    std::string program, commandLine;
};
StartedAs ReadStartedAs(HANDLE process) {
    using QueryInformation = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    StartedAs started;
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return started;
    started.program = ReadRemoteText(process, parameters.ImagePathName);
    started.commandLine = ReadRemoteText(process, parameters.CommandLine);
    return started;
}

// The uninstaller's temporary copy that the last CleanupCopyCommandLine saw.
std::string g_cleanupCopy;
std::string CleanupCopy() { return g_cleanupCopy; }

// Whether `program` is an uninstaller's copy in a folder of its own in the
// temporary folder.
bool IsTemporaryCopy(const std::string& program) {
    return program.size() > TempFolder().size() + 13 && program.find('\\', TempFolder().size()) != std::string::npos &&
           lstrcmpiA(program.substr(0, TempFolder().size()).c_str(), TempFolder().c_str()) == 0 &&
           lstrcmpiA(program.substr(program.size() - 13).c_str(), "\\Hbuninst.exe") == 0;
}

// The command line of the clean-up copy, the uninstaller's temporary copy,
// caught while it waits for the uninstall run to end.
std::string CleanupCopyCommandLine(DWORD timeoutMs = 30000) {
    std::string commandLine;
    WaitUntil(
        [&] {
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            if (snapshot == INVALID_HANDLE_VALUE) return false;
            PROCESSENTRY32 entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
                if (lstrcmpiA(entry.szExeFile, "Hbuninst.exe") != 0) continue;
                HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
                if (!process) continue;
                const StartedAs started = ReadStartedAs(process);
                if (IsTemporaryCopy(started.program)) {
                    commandLine = started.commandLine;
                    g_cleanupCopy = started.program;
                }
                CloseHandle(process);
            }
            CloseHandle(snapshot);
            return !commandLine.empty();
        },
        timeoutMs);
    return commandLine;
}

// What the uninstall run hands its clean-up copy: the file to delete once the
// run has ended, the folder, and whether to restart.
std::string CleanupArguments(const std::string& file, const std::string& folder, bool restart) {
    return "-cleanupuninstall \"" + file + "\" \"" + folder + "\\\"" + (restart ? "1" : "0");
}

// Waits for a process while this thread keeps answering its windows' messages.
bool WaitForEnd(Process& process, DWORD timeoutMs = 30000) {
    return WaitUntil([&] { return !process.Running(); }, timeoutMs);
}

// ---------------------------------------------------------------------------
// Pages

// Waits for the page or dialog titled `title` of that process and keeps a
// picture of it as `shot`.
HWND Page(const Process& setup, const char* title, const std::string& shot) {
    HWND page = WaitForTopWindow(title, setup.Id(), 30000, "#32770");
    if (page && !shot.empty()) {
        Sleep(300);  // the first paint
        Screenshot(shot, page);
    }
    return page;
}

bool Checked(HWND page, int id) { return SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

int BarPosition(HWND progress) {
    return static_cast<int>(SendDlgItemMessageA(progress, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
}

// Pictures of the meter while a question stands in front of it: the box is
// moved below the meter first, so that both show whole.
void ShootMeterBehind(HWND progress, HWND question, const std::string& prefix) {
    RECT meter, box;
    GetWindowRect(progress, &meter);
    GetWindowRect(question, &box);
    SetWindowPos(question, nullptr, box.left, meter.bottom + 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sleep(300);
    Screenshot(prefix + "_progress", progress);
    Screenshot(prefix + "_question");
}

// The percentage the meter shows after `done` of `total`.
int Percent(unsigned long long done, unsigned long long total) { return static_cast<int>(done * 100 / total); }

// The weight of the install section's meter block: a folder, the five files,
// twelve registry lines and the shortcut.
unsigned long long InstallWork(const std::string& disk) {
    unsigned long long total = 1024 + 13 * 1024;
    for (const DistributedFile& file : kFiles) total += FileSize(disk + "\\" + file.source);
    return total;
}

// ---------------------------------------------------------------------------
// Install and uninstall runs

struct InstallChoices {
    std::string folder;        // typed on the folder page; empty keeps the one shown
    bool startMenu = true;     // the answer on the Start-menu page
    bool expectSelection = false;
    std::string shownFolder;   // what the folder page must show
    std::string shotPrefix;    // screenshots, when not empty
};

std::string Shot(const InstallChoices& choices, const char* name) {
    return choices.shotPrefix.empty() ? std::string() : choices.shotPrefix + name;
}

// Clicks through welcome, selection, folder, Start menu and confirmation,
// checking what each page shows.
void ClickThroughInstallPages(Process& setup, const InstallChoices& choices) {
    HWND welcome = Page(setup, kWelcomeTitle, Shot(choices, "01_welcome"));
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(WindowText(MainWindowOf(setup.Id())), kInstallCaption);
    EXPECT_EQ(ControlText(welcome, IDC_WELCOME_LINE1), "KOPIWAの世界にようこそ。");
    EXPECT_EQ(ControlText(welcome, IDC_WELCOME_LINE2), "これからセットアップを開始します。");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(welcome, IDC_BACK)));
    if (!choices.shotPrefix.empty()) Screenshot(choices.shotPrefix + "00_backdrop");
    PostClick(welcome, IDOK);

    if (choices.expectSelection) {
        HWND selection = Page(setup, kSelectionTitle, Shot(choices, "02_selection"));
        ASSERT_NE(selection, nullptr) << "an earlier installation offers the choice";
        EXPECT_TRUE(Checked(selection, IDC_SELECT_INSTALL)) << "install is the choice offered first";
        EXPECT_FALSE(Checked(selection, IDC_SELECT_UNINSTALL));
        PostClick(selection, IDOK);
    }

    HWND folder = Page(setup, kFolderTitle, Shot(choices, "03_folder"));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(ControlText(folder, IDC_FOLDER_EDIT), choices.shownFolder);
    if (!choices.folder.empty()) {
        SendDlgItemMessageA(folder, IDC_FOLDER_EDIT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(choices.folder.c_str()));
        EXPECT_EQ(ControlText(folder, IDC_FOLDER_EDIT), choices.folder);
        if (!choices.shotPrefix.empty()) Screenshot(choices.shotPrefix + "03_folder_typed", folder);
    }
    PostClick(folder, IDOK);

    HWND startMenu = Page(setup, kStartMenuTitle, Shot(choices, "04_startmenu"));
    ASSERT_NE(startMenu, nullptr);
    EXPECT_EQ(ControlText(startMenu, IDC_STARTMENU_TEXT), "KOPIWAを、スタートメニューへ登録しますか?");
    EXPECT_TRUE(Checked(startMenu, IDC_STARTMENU_YES)) << "registering is the choice offered first";
    if (!choices.startMenu) {
        PostClick(startMenu, IDC_STARTMENU_NO);
        EXPECT_TRUE(
            WaitUntil([&] { return Checked(startMenu, IDC_STARTMENU_NO) && !Checked(startMenu, IDC_STARTMENU_YES); }, 5000));
    }
    PostClick(startMenu, IDOK);

    HWND confirm = Page(setup, kInstallConfirmTitle, Shot(choices, "05_confirm"));
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(ControlText(confirm, IDC_INSTALL_CONFIRM_TEXT), "KOPIWAを、以下のフォルダにインストールします。");
    EXPECT_EQ(ControlText(confirm, IDC_INSTALL_CONFIRM_FOLDER), choices.folder.empty() ? choices.shownFolder : choices.folder);
    PostClick(confirm, IDOK);
}

// Ends an install run at its finish page.
void FinishInstall(Process& setup, const InstallChoices& choices) {
    HWND done = Page(setup, kInstallDoneTitle, Shot(choices, "07_finished"));
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(ControlText(done, IDC_INSTALL_DONE_TEXT), "インストールは、すべて終了しました。");
    EXPECT_EQ(ControlText(done, IDOK), "終了");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(done, IDCANCEL)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(done, IDC_BACK)));
    EXPECT_EQ(FindTopWindow(kProgressTitle, setup.Id()), nullptr) << "the meter closed before the last page";
    PostClick(done, IDOK);
    ASSERT_TRUE(WaitForEnd(setup));
    EXPECT_EQ(setup.ExitCode(), 0u);
}

// Everything an install into `folder` leaves, the shortcut aside. The
// copier's settings keys are empty unless the copier has run meanwhile.
void ExpectInstalled(const std::string& folder, const std::string& disk, bool copierHasRun = false) {
    for (const DistributedFile& file : kFiles) {
        const std::string installed = folder + "\\" + file.installedAs;
        EXPECT_TRUE(Exists(installed)) << installed;
        EXPECT_TRUE(ReadBytes(installed) == ReadBytes(disk + "\\" + file.source))
            << installed << " is not the distribution's " << file.source;
    }
    EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kAppPathsKey, "Path"), folder) << "without a trailing backslash";
    EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kAppPathsKey, ""), folder + "\\Kopiwa.exe");
    EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "KOPIWA 1.11  - Davuzavu Zade Deda -");
    EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), "\"" + folder + "\\Hbuninst.exe\" -u")
        << "quoted, as Windows reads a program path with blanks";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kVersionKey));
    EXPECT_EQ(Contents(HKEY_LOCAL_MACHINE, kProductKey).subkeys, 1) << "only the current version's key";
    for (const char* key : {kPrinterKey, kStatusKey}) {
        const KeyContents contents = Contents(HKEY_CURRENT_USER, key);
        EXPECT_EQ(contents.subkeys, 0) << key;
        if (copierHasRun) {
            EXPECT_GE(contents.values, 0) << key;
        } else {
            EXPECT_EQ(contents.values, 0) << key << " is created empty for the copier";
        }
    }
}

void ExpectShortcutTo(const std::string& folder) {
    ASSERT_TRUE(Exists(ShortcutPath())) << ShortcutPath();
    const wintest::Shortcut link = wintest::ReadShortcut(ShortcutPath());
    ASSERT_TRUE(link.read);
    EXPECT_EQ(link.target, folder + "\\Kopiwa.exe");
    EXPECT_EQ(link.description, "KOPIWA");
    EXPECT_EQ(link.arguments, "");
}

// An install from `disk` into the default folder, clicked through every page
// with the shortcut asked for, and checked once it has finished.
void InstallThroughPages(const std::string& disk, const std::string& shotPrefix) {
    Process setup;
    ASSERT_TRUE(setup.Start(disk + "\\Setup.exe"));
    InstallChoices choices;
    choices.shownFolder = DefaultFolder();
    choices.shotPrefix = shotPrefix;
    ASSERT_NO_FATAL_FAILURE(ClickThroughInstallPages(setup, choices));
    ASSERT_NO_FATAL_FAILURE(FinishInstall(setup, choices));
    ExpectInstalled(DefaultFolder(), disk);
    ASSERT_NO_FATAL_FAILURE(ExpectShortcutTo(DefaultFolder()));
}

// Everything the installation put on the machine is gone, the uninstaller and
// its folder included; only the temporary copy waits for the restart.
void ExpectUninstalled(const std::string& folder) {
    for (const DistributedFile& file : kFiles) EXPECT_FALSE(Exists(folder + "\\" + file.installedAs)) << file.installedAs;
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Exists("C:\\Program Files"));
    for (const char* key : {kAppPathsKey, kUninstallKey, kVersionKey, kProductKey})
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key)) << key;
    for (const char* key : {kPrinterKey, kStatusKey, kSettingsKey})
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << key;
    EXPECT_FALSE(Exists(ShortcutPath()));
}

// The command of the uninstall entry.
std::string UninstallCommand() { return TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"); }

// The clean-up copy has done its work and ended: the installation folder is
// gone and no uninstaller runs any more.
bool WaitForCleanup(const std::string& folder, DWORD timeoutMs = 30000) {
    return WaitUntil([&] { return !Exists(folder) && ProcessesNamed("Hbuninst.exe") == 0; }, timeoutMs);
}

// The uninstaller's copy that the restart list deletes, or empty.
std::string HeldCopy() {
    for (const std::string& entry : PendingRenames())
        if (entry.size() > 4 && IsTemporaryCopy(entry.substr(4))) return entry.substr(4);
    return "";
}

// Whether the restart list deletes the copy `file` and then its folder.
bool PendingDeletionOfFileThenFolder(const std::string& file) {
    const std::vector<std::string> entries = PendingRenames();
    const std::string folder = "\\??\\" + RunFolderOfCopy(file);
    for (size_t i = 0; i + 3 < entries.size(); i += 2)
        if (lstrcmpiA(entries[i].c_str(), ("\\??\\" + file).c_str()) == 0 && entries[i + 1].empty() &&
            lstrcmpiA(entries[i + 2].c_str(), folder.c_str()) == 0 && entries[i + 3].empty())
            return true;
    return false;
}

bool MentionsTemporaryUninstaller(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries)
        if (entry.find("Hbuninst.exe") != std::string::npos) return true;
    return false;
}

// Only what the script never takes away may remain: the vendor's own keys,
// HKLM\SOFTWARE\Harbel and HKCU\Software\Harbel, which other products of the
// vendor may share; `alsoAllowed` lists what the platform itself keeps.
void ExpectNothingLeft(const SystemState& before, const std::vector<std::string>& alsoAllowed = {}) {
    const SystemState after = TakeSnapshot();
    std::vector<std::string> files = Added(before.files, after.files);
    std::vector<std::string> keys = Added(before.keys, after.keys);
    const auto allowed = [&](const std::string& item) {
        if (item == "HKLM\\SOFTWARE\\Harbel" || item == "HKCU\\Software\\Harbel") return true;
        // Wine's user32 keeps the session's system parameters here.
        if (item.rfind("HKCU\\Software\\Wine\\Temporary System Parameters\\", 0) == 0) return true;
        // A folder allowed (ending in a backslash) allows what is in it.
        for (const std::string& other : alsoAllowed)
            if (item == other || (other.back() == '\\' && item.rfind(other, 0) == 0)) return true;
        return false;
    };
    files.erase(std::remove_if(files.begin(), files.end(), allowed), files.end());
    keys.erase(std::remove_if(keys.begin(), keys.end(), allowed), keys.end());
    EXPECT_TRUE(files.empty()) << "left behind:" << Joined(files);
    EXPECT_TRUE(keys.empty()) << "left behind:" << Joined(keys);
    EXPECT_EQ(Contents(HKEY_LOCAL_MACHINE, "SOFTWARE\\Harbel").subkeys, 0);
    EXPECT_EQ(Contents(HKEY_CURRENT_USER, "Software\\Harbel").subkeys, 0);
    const std::vector<std::string> removed = Added(after.files, before.files);
    EXPECT_TRUE(removed.empty()) << "taken away that was there before:" << Joined(removed);
}

}  // namespace

// ---------------------------------------------------------------------------
// NT family, silently

// Silent runs as deployment tools start them: with and without -norestart.
struct SilentUninstall {
    const char* options;
    bool restarts;
    DWORD exitCode;
};
const SilentUninstall kSilentUninstalls[] = {{" -s", true, 0}, {" -s -norestart", false, 3010}};

namespace {

void SilentCycle(const SilentUninstall& row) {
    const std::string disk = StageDistribution();
    const SystemState before = TakeSnapshot();

    Process setup;
    ASSERT_TRUE(setup.Start(disk + "\\Setup.exe", "-s"));
    EXPECT_TRUE(RanUnseen(setup)) << "a silent install shows nothing";
    ASSERT_FALSE(setup.Running());
    EXPECT_EQ(setup.ExitCode(), 0u);
    ExpectInstalled(DefaultFolder(), disk);
    EXPECT_FALSE(Exists(ShortcutPath())) << "without the Start-menu page there is no shortcut";

    // What WinHelp writes beside the help file: its index, and once its Find
    // tab is used, the full-text files.
    for (const char* name : {"Kopiwa.GID", "Kopiwa.FTS", "Kopiwa.FTG"})
        CloseHandle(CreateFileA((DefaultFolder() + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));

    // The uninstall entry's command, silent; a silent run restarts Windows
    // at the end, which the clean-up copy asks for once it has cleaned up,
    // unless -norestart forbids it.
    RestartWatcher restart;
    ASSERT_TRUE(restart.ok());
    Process uninstall;
    ASSERT_TRUE(uninstall.StartCommandLine(UninstallCommand() + row.options)) << UninstallCommand();
    EXPECT_TRUE(RanUnseen(uninstall)) << "a silent uninstall shows nothing";
    EXPECT_EQ(uninstall.ExitCode(), row.exitCode);
    EXPECT_EQ(CleanupCopyCommandLine(),
              CleanupArguments(DefaultFolder() + "\\Hbuninst.exe", DefaultFolder(), row.restarts));
    ASSERT_TRUE(WaitForCleanup(DefaultFolder()));
    ExpectUninstalled(DefaultFolder());
    EXPECT_FALSE(Exists("C:\\Program Files\\Harbel")) << "the emptied vendor folder goes too";
    if (row.restarts)
        EXPECT_TRUE(WaitUntil([&] { return restart.Requests() > 0; }, 10000)) << "the clean-up copy restarts Windows";
    else
        EXPECT_EQ(restart.Requests(), 0) << "-norestart: neither the run nor its clean-up copy restarts";

    // The temporary copy goes at the next start of Windows.
    EXPECT_TRUE(Exists(CleanupCopy()));
    EXPECT_TRUE(PendingDeletionOfFileThenFolder(CleanupCopy())) << Joined(PendingRenames());
    EXPECT_FALSE(Exists(WindowsFile("WININIT.INI"))) << "the NT family has its own list";
    ASSERT_TRUE(RunRestartWork());
    EXPECT_FALSE(Exists(RunFolderOfCopy(CleanupCopy())));
    EXPECT_FALSE(MentionsTemporaryUninstaller(PendingRenames()));

    EXPECT_TRUE(ReadBytes(disk + "\\Setup.exe") == ReadBytes(SetupExe())) << "the distribution stays as it was";
    ExpectNothingLeft(before);
}

}  // namespace

TEST(InstallCycle, SilentInstallAndSilentUninstallLeaveNothingBehind) {
    for (const SilentUninstall& row : kSilentUninstalls) {
        SCOPED_TRACE(row.options);
        ASSERT_NO_FATAL_FAILURE(SilentCycle(row));
    }
}

// ---------------------------------------------------------------------------
// NT family, through the pages

namespace {

// The uninstall run's pages up to its restart page: welcome and confirmation.
void ClickThroughUninstallPages(Process& uninstall, const std::string& folder, const std::string& shotPrefix) {
    const auto shot = [&](const char* name) { return shotPrefix.empty() ? std::string() : shotPrefix + name; };
    HWND welcome = Page(uninstall, kWelcomeTitle, shot("01_welcome"));
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(WindowText(MainWindowOf(uninstall.Id())), kUninstallCaption);
    EXPECT_EQ(ControlText(welcome, IDC_WELCOME_LINE2), "これからアンインストールを開始します。");
    PostClick(welcome, IDOK);

    HWND confirm = Page(uninstall, kUninstallConfirmTitle, shot("02_confirm"));
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(ControlText(confirm, IDC_UNINSTALL_FOUND), "セットアップは、インストール済みのKOPIWAを見つけました。");
    EXPECT_EQ(ControlText(confirm, IDC_UNINSTALL_FOLDER), folder) << "the folder recorded by the installation";
    EXPECT_EQ(ControlText(confirm, IDC_UNINSTALL_TEXT), "このフォルダのKOPIWAを、アンインストールします。");
    PostClick(confirm, IDOK);
}

// The restart page that ends every uninstall run, answered with `button`.
void AnswerRestartPage(Process& uninstall, int button, const std::string& shot) {
    HWND page = Page(uninstall, kUninstallDoneTitle, shot);
    ASSERT_NE(page, nullptr);
    const std::string texts = ChildTexts(page);
    EXPECT_NE(texts.find("アンインストールは終了しました。"), std::string::npos) << texts;
    EXPECT_NE(texts.find("変更内容を反映させるためには、Windowsを再起動する必要があります。"), std::string::npos);
    EXPECT_EQ(ControlText(page, IDOK), "再起動");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDCANCEL)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_BACK))) << "no way back";
    PostClick(page, button);
    ASSERT_TRUE(WaitForEnd(uninstall));
    EXPECT_EQ(uninstall.ExitCode(), button == IDOK ? 0u : 3010u) << "a restart declined is still needed";
}

}  // namespace

TEST(InstallCycle, InteractiveInstallAndUninstallThroughTheirPages) {
    const std::string disk = StageDistribution();
    const SystemState before = TakeSnapshot();

    ASSERT_NO_FATAL_FAILURE(InstallThroughPages(disk, "install_"));
    EXPECT_EQ(ReadRights(DefaultFolder()), ReadRights("C:\\Program Files")) << "under Program Files: unchanged";

    // A read-only file where the uninstaller once put its copy, as another
    // user could leave it in a shared temporary folder.
    const std::string planted = "(not an uninstaller)";
    ASSERT_TRUE(WriteBytes(OldTemporaryUninstaller(), planted));
    ASSERT_TRUE(SetFileAttributesA(OldTemporaryUninstaller().c_str(), FILE_ATTRIBUTE_READONLY));

    RestartWatcher restart;
    ASSERT_TRUE(restart.ok());
    Process uninstall;
    ASSERT_TRUE(uninstall.StartCommandLine(UninstallCommand())) << UninstallCommand();
    ASSERT_NO_FATAL_FAILURE(ClickThroughUninstallPages(uninstall, DefaultFolder(), "uninstall_"));

    ASSERT_NE(Page(uninstall, kUninstallDoneTitle, ""), nullptr);
    EXPECT_TRUE(Exists(DefaultFolder() + "\\Hbuninst.exe")) << "the running uninstaller cannot delete itself";
    // Its copy waits in a folder of its own, held: no one can change it
    // before it is started.
    const std::string copy = HeldCopy();
    ASSERT_FALSE(copy.empty());
    // The run has an administrator's rights: no one but administrators and
    // the system may even look into the folder.
    EXPECT_EQ(ReadRights(RunFolderOfCopy(copy)).find("S-1-1-0"), std::string::npos) << ReadRights(copy);
    EXPECT_TRUE(ReadBytes(copy) == ReadBytes(SetupExe()));
    HANDLE writer = CreateFileA(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing";
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(MoveFileA(copy.c_str(), (copy + ".old").c_str())) << "renamed";
    EXPECT_FALSE(DeleteFileA(copy.c_str())) << "deleted";
    ASSERT_NO_FATAL_FAILURE(AnswerRestartPage(uninstall, IDCANCEL, "uninstall_04_restart"));
    EXPECT_EQ(CleanupCopyCommandLine(), CleanupArguments(DefaultFolder() + "\\Hbuninst.exe", DefaultFolder(), false));
    ASSERT_TRUE(WaitForCleanup(DefaultFolder()));
    ExpectUninstalled(DefaultFolder());
    EXPECT_FALSE(Exists("C:\\Program Files\\Harbel"));
    EXPECT_FALSE(WaitUntil([&] { return restart.Requests() > 0; }, 3000)) << "no restart was chosen";

    // The copy that was started is the one held, waiting for the restart;
    // the file at the old name is as it was.
    EXPECT_EQ(CleanupCopy(), copy);
    EXPECT_TRUE(ReadBytes(copy) == ReadBytes(SetupExe()));
    EXPECT_EQ(ReadBytes(OldTemporaryUninstaller()), planted);
    EXPECT_TRUE(PendingDeletionOfFileThenFolder(copy)) << Joined(PendingRenames());
    ASSERT_TRUE(RunRestartWork());
    EXPECT_FALSE(Exists(RunFolderOfCopy(copy)));
    EXPECT_FALSE(MentionsTemporaryUninstaller(PendingRenames()));
    SetFileAttributesA(OldTemporaryUninstaller().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(OldTemporaryUninstaller().c_str());
    ExpectNothingLeft(before);
}

// ---------------------------------------------------------------------------
// Over an earlier installation

// The folder's last character is 表, whose second byte is a backslash: the
// folder must keep it whole wherever it is written or cut.
const char kOwnFolder[] = "C:\\アプリ\\一覧表";

TEST(InstallCycle, ASecondInstallFindsTheFirstFolderAndOffersTheChoice) {
    const std::string disk = StageDistribution();
    const SystemState before = TakeSnapshot();

    // First into a folder of the user's own, without a Start-menu entry.
    Process first;
    ASSERT_TRUE(first.Start(disk + "\\Setup.exe"));
    InstallChoices own;
    own.shotPrefix = "own_";
    own.folder = kOwnFolder;
    own.shownFolder = DefaultFolder();
    own.startMenu = false;
    ASSERT_NO_FATAL_FAILURE(ClickThroughInstallPages(first, own));
    ASSERT_NO_FATAL_FAILURE(FinishInstall(first, own));
    ExpectInstalled(kOwnFolder, disk);
    // Outside Program Files both folders it made are an administrator's;
    // everyone else reads and runs. (Wine keeps rights as Unix modes.)
    for (const char* folder : {kOwnFolder, "C:\\アプリ"})
        EXPECT_NE(ReadRights(folder).find("allow S-1-1-0 1200a9"), std::string::npos) << ReadRights(folder);
    EXPECT_FALSE(Exists(ShortcutPath())) << "the user declined the Start-menu entry";

    // The user's notes, saved in the read-me after it was installed.
    const std::string readme = std::string(kOwnFolder) + "\\Readme.txt";
    const std::string notes = "自分のメモ\r\n";
    ASSERT_TRUE(WriteBytes(readme, notes));
    ASSERT_TRUE(MakeNewer(readme));

    // Again: the earlier folder is found, and the choice offered.
    Process second;
    ASSERT_TRUE(second.Start(disk + "\\Setup.exe"));
    InstallChoices again;
    again.expectSelection = true;
    again.shownFolder = kOwnFolder;
    again.shotPrefix = "reinstall_";
    ASSERT_NO_FATAL_FAILURE(ClickThroughInstallPages(second, again));

    HWND progress = WaitForTopWindow(kProgressTitle, second.Id(), 30000, "#32770");
    HWND question = WaitForTopWindow(kInstallCaption, second.Id(), 30000, "#32770");
    ASSERT_NE(progress, nullptr);
    ASSERT_NE(question, nullptr);
    ShootMeterBehind(progress, question, "reinstall_06");
    EXPECT_EQ(MessageBoxText(question), "新しいファイル" + readme + "が、すでに存在します。\n上書きしますか?");
    EXPECT_EQ(ControlText(progress, IDC_PROGRESS_ACTION), "ファイルのコピー中です...");
    EXPECT_EQ(ControlText(progress, IDC_PROGRESS_NAME), "ファイル名 : " + disk + "\\Readme.txt");
    EXPECT_EQ(ControlText(progress, IDC_PROGRESS_DESCRIPTION), "KOPIWA 補足説明ファイル");
    const unsigned long long beforeReadme = 1024 + FileSize(disk + "\\Kopiwa.exe") + FileSize(disk + "\\Kopiwa.hlp") +
                                            FileSize(disk + "\\Kopiwa.cnt") + FileSize(disk + "\\Kopiwa.chm");
    EXPECT_EQ(BarPosition(progress), Percent(beforeReadme, InstallWork(disk)));
    PostClick(question, IDNO);
    ASSERT_NO_FATAL_FAILURE(FinishInstall(second, again));

    EXPECT_EQ(ReadBytes(readme), notes) << "the newer file was kept";
    for (const char* name : {"Kopiwa.exe", "Kopiwa.hlp", "Kopiwa.cnt"})
        EXPECT_TRUE(ReadBytes(std::string(kOwnFolder) + "\\" + name) == ReadBytes(disk + "\\" + name)) << name;
    EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kAppPathsKey, "Path"), kOwnFolder);
    ASSERT_NO_FATAL_FAILURE(ExpectShortcutTo(kOwnFolder));

    // The uninstall entry takes it all away, the folders made for it too.
    RestartWatcher restart;
    Process uninstall;
    ASSERT_TRUE(uninstall.StartCommandLine(UninstallCommand())) << UninstallCommand();
    ASSERT_NO_FATAL_FAILURE(ClickThroughUninstallPages(uninstall, kOwnFolder, ""));
    ASSERT_NO_FATAL_FAILURE(AnswerRestartPage(uninstall, IDCANCEL, ""));
    EXPECT_EQ(CleanupCopyCommandLine(),
              CleanupArguments(std::string(kOwnFolder) + "\\Hbuninst.exe", kOwnFolder, false));
    ASSERT_TRUE(WaitForCleanup(kOwnFolder));
    ExpectUninstalled(kOwnFolder);
    EXPECT_FALSE(Exists("C:\\アプリ")) << "the emptied parent goes too";
    ASSERT_TRUE(RunRestartWork());
    ExpectNothingLeft(before);
}

// An install run turned into an uninstall on the selection page runs from the
// distribution folder, not from the installed uninstaller.
TEST(InstallCycle, UninstallingFromTheSelectionPageKeepsTheDistribution) {
    const std::string disk = StageDistribution();
    const SystemState before = TakeSnapshot();
    Process install;
    ASSERT_TRUE(install.Start(disk + "\\Setup.exe", "-s"));
    ASSERT_TRUE(WaitForEnd(install));
    ExpectInstalled(DefaultFolder(), disk);

    RestartWatcher restart;
    Process setup;
    ASSERT_TRUE(setup.Start(disk + "\\Setup.exe"));
    HWND welcome = Page(setup, kWelcomeTitle, "");
    ASSERT_NE(welcome, nullptr);
    PostClick(welcome, IDOK);
    HWND selection = Page(setup, kSelectionTitle, "");
    ASSERT_NE(selection, nullptr);
    PostClick(selection, IDC_SELECT_UNINSTALL);
    EXPECT_TRUE(WaitUntil([&] { return Checked(selection, IDC_SELECT_UNINSTALL); }, 5000));
    PostClick(selection, IDOK);
    HWND confirm = Page(setup, kUninstallConfirmTitle, "");
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(ControlText(confirm, IDC_UNINSTALL_FOLDER), DefaultFolder());
    PostClick(confirm, IDOK);
    ASSERT_NE(Page(setup, kUninstallDoneTitle, ""), nullptr);
    EXPECT_FALSE(Exists(DefaultFolder() + "\\Hbuninst.exe")) << "the uninstall section deletes the uninstaller";
    ASSERT_NO_FATAL_FAILURE(AnswerRestartPage(setup, IDCANCEL, "selection_uninstall_restart"));
    EXPECT_EQ(CleanupCopyCommandLine(), CleanupArguments("", DefaultFolder(), false))
        << "this program is not the installation's: no file for the clean-up copy to delete";

    ASSERT_TRUE(WaitForCleanup(DefaultFolder()));
    ExpectUninstalled(DefaultFolder());
    EXPECT_TRUE(ReadBytes(disk + "\\Setup.exe") == ReadBytes(SetupExe())) << "the distribution's installer stays";
    ASSERT_TRUE(RunRestartWork());
    ExpectNothingLeft(before);
}

// ---------------------------------------------------------------------------
// Windows 95 family: the temporary copy's deletion goes into WININIT.INI

TEST(InstallCycle95, TheLastCopyGoesAtRestartThroughWininit) {
    // The installer and the uninstaller, both copies of it, see Windows 95.
    ASSERT_TRUE(SetReportedWindowsVersion("Setup.exe", "win95"));
    ASSERT_TRUE(SetReportedWindowsVersion("Hbuninst.exe", "win95"));
    const std::string disk = StageDistribution();
    const std::string wininit = WindowsFile("WININIT.INI");
    ASSERT_FALSE(Exists(wininit));
    const SystemState before = TakeSnapshot();

    ASSERT_NO_FATAL_FAILURE(InstallThroughPages(disk, "win95_install_"));

    // Uninstalled from its entry, and this time the restart is chosen: the
    // clean-up copy asks for it once it has cleaned up.
    RestartWatcher restart;
    ASSERT_TRUE(restart.ok());
    Process uninstall;
    ASSERT_TRUE(uninstall.StartCommandLine(UninstallCommand())) << UninstallCommand();
    ASSERT_NO_FATAL_FAILURE(ClickThroughUninstallPages(uninstall, DefaultFolder(), "win95_uninstall_"));
    ASSERT_NO_FATAL_FAILURE(AnswerRestartPage(uninstall, IDOK, "win95_uninstall_03_restart"));
    EXPECT_EQ(CleanupCopyCommandLine(), CleanupArguments(DefaultFolder() + "\\Hbuninst.exe", DefaultFolder(), true));
    ASSERT_TRUE(WaitForCleanup(DefaultFolder()));
    ExpectUninstalled(DefaultFolder());
    EXPECT_FALSE(Exists("C:\\Program Files\\Harbel"));
    EXPECT_TRUE(WaitUntil([&] { return restart.Requests() > 0; }, 10000)) << "restart was chosen";

    const std::string copy = CleanupCopy();
    EXPECT_TRUE(Exists(copy));
    // WININIT.INI deletes and renames files only: the folder is not listed.
    const std::string shortCopy = ShortPath(copy);
    EXPECT_EQ(ReadBytes(wininit), "[Rename]\r\nNUL=" + shortCopy + "\r\n");
    EXPECT_FALSE(MentionsTemporaryUninstaller(PendingRenames())) << "the Windows 95 family has no NT list";

    // Wine's start-up work carries out WININIT.INI as Windows 95 does, and
    // keeps the list it carried out as wininit.bak.
    ASSERT_TRUE(RunRestartWork());
    EXPECT_FALSE(Exists(copy));
    EXPECT_FALSE(Exists(wininit));
    const std::string done = WindowsFile("wininit.bak");
    EXPECT_NE(ReadBytes(done).find("NUL=" + shortCopy), std::string::npos);
    // The emptied folder of the run stays in the temporary folder.
    ExpectNothingLeft(before, {done, RunFolderOfCopy(copy) + "\\"});
}

// ---------------------------------------------------------------------------
// While the copier runs

namespace {

// The copier, started and later closed as its user would. The installer
// knows a running copier by its single-instance mutex.
class RunningCopier {
public:
    RunningCopier() = default;
    ~RunningCopier() { Close(); }
    RunningCopier(const RunningCopier&) = delete;
    RunningCopier& operator=(const RunningCopier&) = delete;

    // Whether it started and holds its mutex.
    bool Start(const std::string& exe) {
        return process_.Start(exe) && WaitUntil([&] { return MutexHeld() || !process_.Running(); }, 30000) &&
               MutexHeld();
    }

    // Ends the copier as its user does: its 終了 button.
    void Close() {
        if (!process_.Running()) return;
        if (HWND dialog = WaitForTopWindow("KOPIWA", process_.Id(), 10000)) PostClick(dialog, IDOK);
        EXPECT_TRUE(WaitForEnd(process_));
    }

private:
    static bool MutexHeld() {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kCopierMutex);
        if (mutex) CloseHandle(mutex);
        return mutex != nullptr;
    }

    Process process_;
};

const char kRunningText[] =
    "現在動作中のKOPIWAを発見しました。\nセットアップを継続するには、動作中のKOPIWAを、\n終了させてください。\n\n"
    "KOPIWAを終了させたら、[OK] を押してください。";

}  // namespace

TEST(InstallCycle, ARunningCopierHoldsTheInstallUntilItEnds) {
    const std::string disk = StageDistribution();
    const SystemState before = TakeSnapshot();
    RunningCopier copier;
    ASSERT_TRUE(copier.Start(disk + "\\Kopiwa.exe"));

    Process setup;
    ASSERT_TRUE(setup.Start(disk + "\\Setup.exe"));
    InstallChoices choices;
    choices.shownFolder = DefaultFolder();
    ASSERT_NO_FATAL_FAILURE(ClickThroughInstallPages(setup, choices));

    // After the confirmation, before anything is installed.
    HWND prompt = Page(setup, kRunningTitle, "running_prompt");
    ASSERT_NE(prompt, nullptr);
    Screenshot("running_prompt_screen");
    EXPECT_EQ(MessageBoxText(prompt), kRunningText);
    EXPECT_EQ(GetWindow(prompt, GW_OWNER), MainWindowOf(setup.Id()));
    EXPECT_FALSE(Exists(DefaultFolder())) << "nothing is installed while the copier runs";

    // OK while it still runs: the same question again.
    PostClick(prompt, IDOK);
    ASSERT_TRUE(WaitForWindowGone(prompt));
    prompt = Page(setup, kRunningTitle, "");
    ASSERT_NE(prompt, nullptr) << "asked again while the copier runs";
    EXPECT_EQ(MessageBoxText(prompt), kRunningText);

    // Once it has ended, OK lets the install go on.
    copier.Close();
    EXPECT_GT(Contents(HKEY_CURRENT_USER, kStatusKey).values, 0) << "the copier kept its settings";
    PostClick(prompt, IDOK);
    ASSERT_NO_FATAL_FAILURE(FinishInstall(setup, choices));
    ExpectInstalled(DefaultFolder(), disk, true);
    ASSERT_NO_FATAL_FAILURE(ExpectShortcutTo(DefaultFolder()));

    // The installed copier running: Cancel on the question stops the run and
    // leaves the installation as it was.
    RunningCopier installed;
    ASSERT_TRUE(installed.Start(DefaultFolder() + "\\Kopiwa.exe"));
    Process again;
    ASSERT_TRUE(again.Start(disk + "\\Setup.exe"));
    InstallChoices over;
    over.expectSelection = true;
    over.shownFolder = DefaultFolder();
    ASSERT_NO_FATAL_FAILURE(ClickThroughInstallPages(again, over));
    prompt = Page(again, kRunningTitle, "");
    ASSERT_NE(prompt, nullptr);
    PostClick(prompt, IDCANCEL);
    EXPECT_EQ(AnswerMessageBox(kInstallCaption, again.Id(), IDOK), kAbortText);
    ASSERT_TRUE(WaitForEnd(again));
    EXPECT_EQ(again.ExitCode(), 1602u) << "the user gave up waiting";
    installed.Close();
    ExpectInstalled(DefaultFolder(), disk, true);

    // The copier's settings, kept under the keys the installer made, go with
    // the uninstall.
    RestartWatcher restart;
    Process uninstall;
    const std::string uninstallCommand = UninstallCommand() + " -s";
    ASSERT_TRUE(uninstall.StartCommandLine(uninstallCommand)) << uninstallCommand << ": error " << GetLastError();
    ASSERT_TRUE(WaitForEnd(uninstall));
    EXPECT_EQ(CleanupCopyCommandLine(), CleanupArguments(DefaultFolder() + "\\Hbuninst.exe", DefaultFolder(), true));
    ASSERT_TRUE(WaitForCleanup(DefaultFolder()));
    ExpectUninstalled(DefaultFolder());
    ASSERT_TRUE(RunRestartWork());
    // Wine's printing keeps its printer descriptions for the copier here.
    ExpectNothingLeft(before, {TempFolder() + "wine_ppds\\"});
}

// ---------------------------------------------------------------------------
// Runs cut short, as by a power cut, and run again

namespace {

// Where a silent run is killed: the first moment that what it has just done
// can be seen from outside, in the order the script does it, starting with
// its first sign of work.
struct KillPoint {
    bool uninstall;
    const char* after;
    bool (*reached)();
};

bool Gone(const std::string& path) { return !Exists(path); }

const KillPoint kKillPoints[] = {
    {false, "the folder made", [] { return Exists(DefaultFolder()); }},
    {false, "Kopiwa.exe copied", [] { return Exists(DefaultFolder() + "\\Kopiwa.exe"); }},
    {false, "the uninstaller copied", [] { return Exists(DefaultFolder() + "\\Hbuninst.exe"); }},
    {false, "the version key made", [] { return KeyExists(HKEY_LOCAL_MACHINE, kVersionKey); }},
    {false, "the uninstall entry made", [] { return UninstallCommand() != "(missing)"; }},
    {false, "the settings keys made", [] { return KeyExists(HKEY_CURRENT_USER, kStatusKey); }},
    {true, "Kopiwa.exe deleted", [] { return Gone(DefaultFolder() + "\\Kopiwa.exe"); }},
    {true, "Readme.txt deleted", [] { return Gone(DefaultFolder() + "\\Readme.txt"); }},
    {true, "the temporary copy made",
     [] {
         for (const std::string& folder : RunFolders())
             if (Exists(folder + "\\Hbuninst.exe")) return true;
         return false;
     }},
    {true, "the version keys deleted", [] { return !KeyExists(HKEY_LOCAL_MACHINE, kProductKey); }},
    {true, "the uninstall entry deleted", [] { return !KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey); }},
    {true, "the App Paths key deleted", [] { return !KeyExists(HKEY_LOCAL_MACHINE, kAppPathsKey); }},
    {true, "the settings keys deleted", [] { return !KeyExists(HKEY_CURRENT_USER, kSettingsKey); }},
};

constexpr DWORD kKilled = 1;  // the exit code Process::Kill gives

// Ends every uninstaller still running, each named on a line of its own.
void EndStrayUninstallers() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, "Hbuninst.exe") != 0) continue;
        HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
        if (!process) continue;
        printf("[ stray    ] %s, ended\n", ReadStartedAs(process).commandLine.c_str());
        TerminateProcess(process, kKilled);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

// Takes away whatever an installation or an earlier row left, by force.
void RemoveInstallation() {
    // A clean-up copy of a run that got past its point ends on its own.
    // A clean-up copy of a run that got past its point ends on its own; one
    // started just as its uninstall run was killed has been seen under Wine
    // never to end. It is named and ended here.
    if (!WaitUntil([] { return ProcessesNamed("Hbuninst.exe") == 0; }, 30000)) EndStrayUninstallers();
    RemoveTree("C:\\Program Files\\Harbel");
    for (const char* key : {kAppPathsKey, kUninstallKey, kProductKey}) DeleteRegistryTree(HKEY_LOCAL_MACHINE, key);
    DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsKey);
    DeleteFileA(ShortcutPath().c_str());
    for (const std::string& folder : RunFolders()) RemoveTree(folder);
}

// The installation as it stands: its folders and files, its keys with their
// values, the shortcut and the temporary copy. Two installations with equal
// listings are the same.
FileListing InstallationListing() {
    FileListing listing = ListFiles("C:\\Program Files\\Harbel");
    if (Exists(ShortcutPath())) listing[ShortcutPath()] = "file";
    for (const std::string& folder : RunFolders())
        for (const auto& entry : ListFiles(folder)) listing[entry.first] = entry.second;
    const struct {
        HKEY root;
        const char *label, *path;
    } keys[] = {{HKEY_LOCAL_MACHINE, "HKLM\\", kProductKey}, {HKEY_LOCAL_MACHINE, "HKLM\\", kAppPathsKey},
                {HKEY_LOCAL_MACHINE, "HKLM\\", kUninstallKey}, {HKEY_CURRENT_USER, "HKCU\\", kSettingsKey}};
    for (const auto& key : keys) {
        if (!KeyExists(key.root, key.path)) continue;
        listing[key.label + std::string(key.path)] = "key";
        for (const auto& entry : ListRegistry(key.root, key.path)) listing[key.label + entry.first] = entry.second;
    }
    return listing;
}

// Its files, folders and keys by name, on one line.
std::string Names(const FileListing& listing) {
    std::string names;
    for (const auto& entry : listing)
        if (entry.first.find("\\@") == std::string::npos) names += " " + entry.first;
    return names.empty() ? " nothing" : names;
}

// A silent install from `disk` that ends with the installation in place. Once
// in a full suite the install between two rows did not run; what happened is
// printed and the install tried again.
bool InstallSilently(const std::string& disk) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        Process setup;
        const bool started = setup.Start(disk + "\\Setup.exe", "-s");
        const DWORD error = GetLastError();
        if (started && WaitForEnd(setup) && setup.ExitCode() == 0 && Exists(DefaultFolder() + "\\Hbuninst.exe"))
            return true;
        printf("[ retried  ] silent install: started %d (error %lu), exit code %lu, uninstallers running %d\n",
               started, error, setup.ExitCode(), ProcessesNamed("Hbuninst.exe"));
        RemoveInstallation();
    }
    return false;
}

// Starts the silent run and kills it the moment `point` is reached. False
// when the run got past the point first: it ended, or its clean-up copy started.
bool KillAt(const KillPoint& point, const std::string& disk) {
    Process run;
    const bool started =
        point.uninstall ? run.StartCommandLine(UninstallCommand() + " -s") : run.Start(disk + "\\Setup.exe", "-s");
    if (!started) return false;
    const DWORD start = GetTickCount();
    while (!point.reached() && run.Running() && GetTickCount() - start < 60000) Sleep(0);
    run.Kill();
    // A clean-up copy on its way would show by now.
    Sleep(1000);
    return run.ExitCode() == kKilled && ProcessesNamed("Hbuninst.exe") == 0;
}

// How a user starts the uninstaller again: from the uninstall entry while it
// is there, otherwise the one left in the folder.
std::string UninstallAgainCommand() {
    const std::string entry = UninstallCommand();
    return (entry != "(missing)" ? entry : "\"" + DefaultFolder() + "\\Hbuninst.exe\" -u") + " -s";
}

}  // namespace

TEST(InstallCycle, ASilentRunKilledPartwayFinishesWhenRunAgain) {
    const std::string disk = StageDistribution();
    const SystemState before = TakeSnapshot();
    RestartWatcher restart;  // a silent uninstall's clean-up copy asks for a restart
    ASSERT_TRUE(restart.ok());
    ASSERT_TRUE(InstallSilently(disk));
    const FileListing installed = InstallationListing();
    RemoveInstallation();

    for (const KillPoint& point : kKillPoints) {
        const std::string where =
            std::string(point.uninstall ? "uninstall" : "install") + " killed after " + point.after;
        SCOPED_TRACE(where);
        // A run may outrun the watch; the point is tried again then.
        bool killed = false;
        for (int attempt = 0; attempt < 6 && !killed; ++attempt) {
            RemoveInstallation();
            if (point.uninstall) {
                ASSERT_TRUE(InstallSilently(disk));
                ASSERT_TRUE(WriteShortcut(ShortcutPath(), DefaultFolder() + "\\Kopiwa.exe", "KOPIWA"));
            }
            killed = KillAt(point, disk);
        }
        ASSERT_TRUE(killed) << "the run got past the point every time";
        printf("[ killed   ] %s; left:%s\n", where.c_str(), Names(InstallationListing()).c_str());

        Process again;
        if (point.uninstall) {
            ASSERT_TRUE(again.StartCommandLine(UninstallAgainCommand())) << UninstallAgainCommand();
        } else {
            ASSERT_TRUE(again.Start(disk + "\\Setup.exe", "-s"));
        }
        EXPECT_TRUE(RanUnseen(again)) << "the run again shows nothing";
        EXPECT_FALSE(again.Running()) << "and waits for nobody";
        if (point.uninstall) {
            EXPECT_TRUE(WaitForCleanup(DefaultFolder()));
            ExpectUninstalled(DefaultFolder());
            EXPECT_FALSE(Exists("C:\\Program Files\\Harbel"));
        } else {
            ExpectInstalled(DefaultFolder(), disk);
            EXPECT_EQ(ListingDifferences(installed, InstallationListing()), "");
        }
    }
    RemoveInstallation();
    ASSERT_TRUE(RunRestartWork());
    ExpectNothingLeft(before);
}

// ---------------------------------------------------------------------------
// DLLs planted where a program searches

namespace {

// Names Windows loads on a program's behalf from the program's folder first,
// and that Wine's own DLLs do not import before the program starts.
const char* const kPlantedNames[] = {"comctl32", "dwmapi", "cryptbase", "uxtheme"};
// Where the marker DLL notes each process that loaded it.
const char kPlantMarks[] = "C:\\planted-loads.txt";

// The marker DLL under each planted name in `folder`.
void PlantIn(const std::string& folder, std::vector<std::string>* planted) {
    const std::string marker = BuildDir() + "\\fixtures\\load_marker.dll";
    for (const char* name : kPlantedNames) {
        const std::string path = folder + "\\" + name + ".dll";
        EXPECT_TRUE(CopyFileA(marker.c_str(), path.c_str(), FALSE)) << path;
        planted->push_back(path);
    }
}

// Native-first loading of the planted names for Setup.exe and its copies,
// as Windows' search order takes a DLL beside the program before the
// system's own; in the prefix's registry, which the processes read.
const char* const kOverridden[] = {"Setup.exe", "Hbuninst.exe"};
void PreferPlantedDlls() {
    for (const char* program : kOverridden)
        for (const char* name : kPlantedNames) ASSERT_TRUE(SetDllOverride(program, name, "native,builtin"));
}

struct PlantedRun {
    const char* name;
    bool silent;
};
const PlantedRun kPlantedRuns[] = {{"interactive", false}, {"silent", true}};

// One install and uninstall from the distribution folder, started from the
// folder `current`, silent or through the pages; the folder the uninstall's
// copy ran from into `copyFolder`.
void InstallAndUninstallFrom(const std::string& disk, const std::string& current, bool silent,
                             std::string* copyFolder) {
    Process setup;
    ASSERT_TRUE(setup.Start(disk + "\\Setup.exe", silent ? "-s" : "", current));
    if (silent) {
        ASSERT_TRUE(WaitForEnd(setup));
    } else {
        InstallChoices choices;
        choices.shownFolder = DefaultFolder();
        ASSERT_NO_FATAL_FAILURE(ClickThroughInstallPages(setup, choices));
        ASSERT_NO_FATAL_FAILURE(FinishInstall(setup, choices));
    }
    ExpectInstalled(DefaultFolder(), disk);

    RestartWatcher restart;
    ASSERT_TRUE(restart.ok());
    Process uninstall;
    ASSERT_TRUE(uninstall.StartCommandLine(UninstallCommand() + (silent ? " -s" : "")));
    if (silent) {
        ASSERT_TRUE(WaitForEnd(uninstall));
    } else {
        ASSERT_NO_FATAL_FAILURE(ClickThroughUninstallPages(uninstall, DefaultFolder(), ""));
        ASSERT_NO_FATAL_FAILURE(AnswerRestartPage(uninstall, IDCANCEL, ""));
    }
    ASSERT_FALSE(CleanupCopyCommandLine().empty());
    ASSERT_TRUE(WaitForCleanup(DefaultFolder()));
    ExpectUninstalled(DefaultFolder());
    EXPECT_TRUE(PendingDeletionOfFileThenFolder(CleanupCopy())) << Joined(PendingRenames());
    *copyFolder = RunFolderOfCopy(CleanupCopy());
}

}  // namespace

TEST(InstallCyclePlanted, NothingPlantedBesideSetupInTempOrTheCurrentFolderIsLoadedOrRun) {
    const std::string disk = StageDistribution();
    const std::string current = "C:\\Downloads";
    MakeFolders(current);
    std::vector<std::string> planted;
    for (const std::string& folder : {disk, TempFolder().substr(0, TempFolder().size() - 1), current})
        PlantIn(folder, &planted);
    // Started unquoted, the uninstall entry's command would run this one.
    planted.push_back("C:\\Program.exe");
    ASSERT_TRUE(CopyFileA((BuildDir() + "\\fixtures\\hello_window.exe").c_str(), planted.back().c_str(), FALSE));
    char previousFolder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, previousFolder);
    ASSERT_NO_FATAL_FAILURE(PreferPlantedDlls());

    std::set<std::string> copyFolders;
    for (const PlantedRun& run : kPlantedRuns) {
        SCOPED_TRACE(run.name);
        const SystemState before = TakeSnapshot();
        {
            // The uninstall entry's command starts in this program's folder.
            ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
            std::string copyFolder;
            InstallAndUninstallFrom(disk, current, run.silent, &copyFolder);
            copyFolders.insert(copyFolder);
            SetCurrentDirectoryA(previousFolder);
        }
        EXPECT_FALSE(Exists(kPlantMarks)) << "loaded:\n" << ReadBytes(kPlantMarks);
        DeleteFileA(kPlantMarks);
        ASSERT_TRUE(RunRestartWork());
        ExpectNothingLeft(before);
    }
    for (const std::string& path : planted) DeleteFileA(path.c_str());
    for (const char* program : kOverridden)
        DeleteRegistryTree(HKEY_CURRENT_USER, std::string("Software\\Wine\\AppDefaults\\") + program);
    EXPECT_EQ(copyFolders.size(), 2u) << "each uninstall makes a new folder";
}
