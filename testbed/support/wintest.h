// Test support for programs under Wine: where the build and artifacts are, child
// processes and their windows, the Windows version Wine reports, screenshots of
// the test's own Xvfb screen, Unix commands, and measuring printed PDFs.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "handles.h"

namespace wintest {

// Paths. Unix paths come from the environment the runner sets; Wine shows the
// Unix file system as drive Z:.
std::string Env(const char* name);
std::string ToWindowsPath(const std::string& unixPath);
std::string UnixBuildDir();
std::string BuildDir();     // Windows form
std::string DistDir();      // Windows form of build/dist
std::string UnixArtifactDir();
std::string ArtifactDir();  // Windows form; per test, kept after the run
std::string WindowsDir();

// Files a test makes and reads back.
void RemoveTree(const std::string& path);  // a file, or a folder and all inside it
bool WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);  // empty when it cannot be read
// Every file and folder below `folder` but `skip` (and what is inside it):
// files with their size and last write time, folders as "folder", so that two
// listings are equal when no file came, went or changed. Folders that lead
// elsewhere (reparse points) are not entered; with `deep` false, none is.
using FileListing = std::map<std::string, std::string>;
FileListing ListFiles(const std::string& folder, const std::string& skip = "", bool deep = true);
// What differs between two listings, a line each ("new: ", "gone: ",
// "changed: "), for a failure message; empty when they are equal.
std::string ListingDifferences(const FileListing& before, const FileListing& after);

// Texts between the ANSI code page and UTF-16, whole (a text may hold NULs).
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

// Deletes the key `path` under `root` and every key below it.
void DeleteRegistryTree(HKEY root, const std::string& path);

// The registry below `root`\`path` in the same form, so that ListingDifferences
// compares it too: "key" for each key, the type and data for each value (named
// key path, "\\@", value name). Nothing at or below `skip`, and no link
// key is entered; with `deep` false
// only the key's own values and the names of its subkeys.
FileListing ListRegistry(HKEY root, const std::string& path, const std::string& skip = "", bool deep = true);

// Watches a tree (the registry below a root key, the files below a folder)
// but its part `skip`, cheaply: Windows signals a change under each watched
// part, and only a part that signalled is listed again and compared with how
// it began. The parts on the way to `skip` are watched one level each; the
// rest of the registry as whole subtrees, but for a large one with few
// children (HKLM\Software), whose children are parts of their own. Every
// folder is a part of its own: under Wine a folder's signal does not reach
// below its own entries.
class TreeWatch {
public:
    virtual ~TreeWatch();
    TreeWatch(const TreeWatch&) = delete;
    TreeWatch& operator=(const TreeWatch&) = delete;
    // The differences (as ListingDifferences gives them) at paths that
    // `allowed` refuses; with `everyPart`, signalled or not. Keys, values,
    // files and folders that came at allowed paths are deleted again; what
    // stays is the new starting point.
    std::string Changes(const std::function<bool(const std::string& path)>& allowed, bool everyPart = false);

protected:
    struct Part {
        std::string path;
        bool deep;
        HKEY key;       // the registry's: the key notified of changes
        HANDLE signal;  // set at a change
        FileListing before;
    };
    TreeWatch(const std::string& skip, bool subtrees) : skip_(skip), subtrees_(subtrees) {}
    void AddParts(const std::string& path);
    bool AnySignalled() const;
    virtual FileListing List(const std::string& path, bool deep) const = 0;
    // Asks for the next change's signal; the first call opens the part.
    virtual bool Arm(Part& part) const = 0;
    virtual void RemoveNew(const std::string& path) const = 0;

    std::string skip_;
    bool subtrees_;  // whether a part may be a whole subtree
    std::vector<Part> parts_;
};

class RegistryWatch : public TreeWatch {
public:
    RegistryWatch(HKEY root, const std::string& skip);

private:
    FileListing List(const std::string& path, bool deep) const override;
    bool Arm(Part& part) const override;
    void RemoveNew(const std::string& path) const override;
    HKEY root_;
};

class FolderWatch : public TreeWatch {
public:
    FolderWatch(const std::string& folder, const std::string& skip);

private:
    FileListing List(const std::string& path, bool deep) const override { return ListFiles(path, skip_, deep); }
    bool Arm(Part& part) const override;
    void RemoveNew(const std::string& path) const override { RemoveTree(path); }
};

// Under make fuzz (KOPIWA_HEAP_CHECK set, Wine's heap checks on): whether
// the heaps of this process validate (the process heap each time, all of
// them every 64th). Wine reports a damaged block (an overrun tail, say)
// only when it is validated, and the test runner fails the test on that
// report. True without a check asked for.
bool HeapsIntactIfChecked();

// This process's committed memory (its page-file usage), for tests that keep
// it bounded.
SIZE_T CommittedMemory();

// The handles CreateProcessA gave for a started program, owned (closed once,
// when the owner goes), or none: for a Unix program Wine answers with no
// process handle and a stray number in place of the thread's. Wine keeps
// keys, processes, threads and files in one handle table per process, so
// closing that number can close whatever has it: once, the test's own
// HKEY_CURRENT_USER.
struct StartedHandles {
    KernelHandle process, thread;
};
StartedHandles OwnStartedHandles(const PROCESS_INFORMATION& info);

// A child process, killed when the object goes if it is still running.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `program` with `arguments` (the command line's tail, may be empty).
    bool Start(const std::string& program, const std::string& arguments = "",
               const std::string& workingDir = "");
    // Starts a whole command line as the shell runs a stored command (an
    // uninstall entry, a Run key): the program is found in it as Windows
    // finds it, unquoted blanks included.
    bool StartCommandLine(const std::string& commandLine);
    bool WaitForExit(DWORD timeoutMs);
    bool Running() const;
    DWORD ExitCode() const;
    DWORD Id() const { return id_; }
    // The process handle (all access), for queries such as its memory use.
    HANDLE Handle() const { return handles_.process.Get(); }
    void Kill();

private:
    bool Create(const char* program, std::string commandLine, const std::string& workingDir);
    StartedHandles handles_;
    DWORD id_ = 0;
};

// Top-level windows. `processId` 0 accepts any process.
HWND FindTopWindow(const std::string& title, DWORD processId = 0, const char* className = nullptr);
HWND WaitForTopWindow(const std::string& title, DWORD processId = 0, DWORD timeoutMs = 15000,
                      const char* className = nullptr);
bool WaitForWindowGone(HWND window, DWORD timeoutMs = 15000);
std::vector<HWND> TopWindowsOf(DWORD processId);
std::string WindowText(HWND window);
std::string ClassName(HWND window);
std::string ControlText(HWND dialog, int id);
// Presses a button the way a click does, without blocking on what it opens.
void PostClick(HWND dialog, int id);
// Waits until `predicate` holds, polling every 50 ms while pumping messages.
template <class Pred>
bool WaitUntil(Pred predicate, DWORD timeoutMs = 15000) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(50);
    }
}

// Message boxes (class "#32770" with the text control 0xFFFF), of any process.
bool IsMessageBox(HWND window);
std::string MessageBoxText(HWND box);

// Runs `action` once, soon, inside whatever message loop this thread is in
// then (a modal dialog's, a message box's); for driving modal UI in-process.
void CallSoon(std::function<void()> action, UINT delayMs = 10);

// While it lives, answers every message box that this thread shows with
// `button`, and records what each one said.
struct CaughtBox {
    std::string caption;
    std::string text;
    HICON icon = nullptr;  // the icon shown, compare with LoadIcon(nullptr, IDI_...)
    HWND owner = nullptr;
};
class MessageBoxCatcher {
public:
    explicit MessageBoxCatcher(int button = IDOK);
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    const std::vector<CaughtBox>& Boxes() const { return boxes_; }
    // An action run while a caught box is still up, before it is answered
    // (to look at focus, ownership, ...).
    void WhileShown(std::function<void(HWND box)> action) { whileShown_ = std::move(action); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    int button_;
    UINT_PTR timer_;
    std::vector<CaughtBox> boxes_;
    std::function<void(HWND)> whileShown_;
};

// Stands in for the help engine: Wine's WinHelpA hands every request to the
// window of class "MS_WINHELP" with WM_COPYDATA, in any process of the prefix.
// While it lives, this is that window; it records each request and answers
// with `accept` (FALSE makes WinHelpA report a failure). The fake HTML Help
// engine that InstallFakeHtmlHelp puts in place reports to the same window.
struct HelpRequest {
    bool html = false;  // HtmlHelpA's command, not WinHelpA's
    UINT command = 0;
    DWORD data = 0;
    std::string file;
};
class FakeHelpEngine {
public:
    FakeHelpEngine();
    ~FakeHelpEngine();
    FakeHelpEngine(const FakeHelpEngine&) = delete;
    FakeHelpEngine& operator=(const FakeHelpEngine&) = delete;

    bool accept = true;
    std::vector<HelpRequest> requests;
    HWND Window() const { return window_; }
    // Puts the fake HTML Help engine into the system folder as hhctrl.ocx and
    // makes `exeName` load it instead of Wine's own.
    static bool InstallFakeHtmlHelp(const std::string& exeName);

private:
    static LRESULT CALLBACK Procedure(HWND, UINT, WPARAM, LPARAM);
    HWND window_;
};

// The Windows version Wine reports to one program ("win95", "win98", "nt40",
// "nt351", "win2k", ...), or the default again with an empty version.
bool SetReportedWindowsVersion(const std::string& exeName, const std::string& version);
// How Wine loads `dll` for one program ("native", "native,builtin", ...),
// as WINEDLLOVERRIDES would, but for the program's children too.
bool SetDllOverride(const std::string& exeName, const char* dll, const std::string& order);

// The start-up work of a restart of Windows in this prefix ("wineboot -r"):
// the pending renames and deletions of the NT list and of WININIT.INI are
// carried out. False when wineboot did not run to its end.
bool RunRestartWork(DWORD timeoutMs = 120000);

// Runs a Unix shell command line; its output (stdout and stderr) and status.
struct UnixResult {
    bool finished = false;
    int status = -1;
    std::string output;
};
UnixResult RunUnix(const std::string& command, DWORD timeoutMs = 60000);

// A PNG of the test's Xvfb screen, or of one window's rectangle on it, saved as
// <artifact dir>/<name>.png. Returns the Unix path, or "" on failure.
std::string Screenshot(const std::string& name, HWND window = nullptr);

// The pixels of a rectangle of the test's Xvfb screen (screen coordinates),
// read through a screenshot: rgb holds 3 bytes per pixel, row by row from
// the top. ok is false when the capture failed.
struct ScreenPixels {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    COLORREF At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
};
ScreenPixels CaptureScreen(const RECT& area);

// The PDF printer of the tests: the build tree's own queue as Windows names
// it, and its port. Its pages land in a folder of their own.
std::string TestPrinter();
std::string TestPrinterPort();
// The build tree's second PDF queue, at 1,200 dpi ("" where there is none).
// Its pages are among PdfFiles() too.
std::string FinePrinter();

// The number of the last job that the test printer's queue was given, finished
// or not (0: none that CUPS remembers; -1: CUPS cannot say). Numbers only
// grow, so a new job shows as a larger one. Wine hands a document to CUPS once
// it has ended: an aborted one never gets a number.
int LastPrintJob(const std::string& queue = TestPrinter());
// The bytes that job `job` of `queue` handed to CUPS (its spool file, to the
// kilobyte as CUPS counts it); -1 when CUPS cannot say.
long long PrintJobBytes(const std::string& queue, int job);

// Printed output: the PDFs that the PDF queues wrote.
std::set<std::string> PdfFiles();  // Unix paths
// Waits for a PDF that is not in `before` and is completely written.
std::string WaitForNewPdf(const std::set<std::string>& before, DWORD timeoutMs = 60000);

struct PrintBox {
    bool ok = false;
    bool empty = false;
    double left = 0, top = 0, width = 0, height = 0;  // millimetres from the top-left
    double pageWidth = 0, pageHeight = 0;
};
// The bounding box of the first page's non-white pixels, rendered at `dpi`.
PrintBox MeasurePdf(const std::string& unixPdfPath, int dpi = 300);
// The same, counting only the ink inside a window of the page (millimetres
// from its top-left corner): one mark of a printed picture, say.
PrintBox MeasurePdfWithin(const std::string& unixPdfPath, int dpi, double left, double top, double right,
                          double bottom);

// The first page of a PDF rendered at `dpi` in grey levels, row by row from
// the top-left corner of the page; ok is false when it could not be rendered.
struct PdfPage {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<unsigned char> grey;
    int At(int x, int y) const { return grey[static_cast<size_t>(y) * width + x]; }
};
PdfPage RenderPdf(const std::string& unixPdfPath, int dpi = 300);

struct Shortcut {
    bool read = false;  // the file loaded and its target could be asked for
    std::string target, description, arguments, workingFolder;
};
// Reads a shortcut file back through the shell's own link object.
Shortcut ReadShortcut(const std::string& linkPath);
// Saves a shortcut to `target` with `description`, as an installer makes one.
bool WriteShortcut(const std::string& linkPath, const std::string& target, const std::string& description);

// A security descriptor's DACL as text: "protected; " when it takes nothing
// from the folder above, then each ACE as "allow|deny SID rights-in-hex",
// with " inherits" when it passes to what is made inside, joined by "; ".
// "(none)" for no descriptor.
std::string DescribeRights(PSECURITY_DESCRIPTOR descriptor);
// The rights of a file or folder as GetFileSecurityA reads them back.
std::string ReadRights(const std::string& path);

// Points this program's import of `function` from `dll` (named, not by
// ordinal) at `replacement`, so that code linked into the test program meets
// a platform that fails on purpose. The previous address, or nullptr when the
// program does not import the function.
void* RedirectImport(const char* dll, const char* function, void* replacement);

// A redirection for the life of the object.
class ScopedImportRedirect {
public:
    ScopedImportRedirect(const char* dll, const char* function, void* replacement)
        : dll_(dll), function_(function), previous_(RedirectImport(dll, function, replacement)) {}
    ~ScopedImportRedirect() {
        if (previous_) RedirectImport(dll_, function_, previous_);
    }
    ScopedImportRedirect(const ScopedImportRedirect&) = delete;
    ScopedImportRedirect& operator=(const ScopedImportRedirect&) = delete;
    bool active() const { return previous_ != nullptr; }
    void* previous() const { return previous_; }  // the function redirected from

private:
    const char* dll_;
    const char* function_;
    void* previous_;
};

}  // namespace wintest
