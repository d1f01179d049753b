// Test support for programs under Wine; see wintest.h.
#include "wintest.h"
#include "fake_help_record.h"
#include "registry.h"

#include <objbase.h>
#include <psapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace wintest {

std::string Env(const char* name) {
    char buffer[2048];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return std::string();
    return std::string(buffer, n);
}

std::string ToWindowsPath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string UnixBuildDir() { return Env("KOPIWA_BUILD_DIR"); }
std::string BuildDir() { return ToWindowsPath(UnixBuildDir()); }
std::string DistDir() { return BuildDir() + "\\dist"; }
std::string UnixArtifactDir() { return Env("KOPIWA_ARTIFACT_DIR"); }
std::string ArtifactDir() { return ToWindowsPath(UnixArtifactDir()); }

std::string TestPrinter() { return Env("KOPIWA_PRINTER"); }
std::string TestPrinterPort() { return "CUPS:" + TestPrinter(); }

std::string FinePrinter() { return Env("KOPIWA_FINE_PRINTER"); }

int LastPrintJob(const std::string& queue) {
    const UnixResult r = RunUnix("LC_ALL=C lpstat -W all -o '" + queue + "' | sed -n 's/^" + queue +
                                 "-\\([0-9]*\\) .*/\\1/p' | sort -n | tail -n 1");
    return r.finished && r.status == 0 ? std::atoi(r.output.c_str()) : -1;
}

long long PrintJobBytes(const std::string& queue, int job) {
    const UnixResult r = RunUnix("LC_ALL=C lpstat -W all -o '" + queue + "' | awk '$1 == \"" + queue + "-" +
                                 std::to_string(job) + "\" { print $3 }'");
    return r.finished && r.status == 0 && !r.output.empty() ? std::atoll(r.output.c_str()) : -1;
}

std::string WindowsDir() {
    char buffer[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
    return std::string(buffer, n);
}

StartedHandles OwnStartedHandles(const PROCESS_INFORMATION& info) {
    StartedHandles handles;
    if (!info.hProcess) return handles;
    handles.process.Reset(info.hProcess);
    handles.thread.Reset(info.hThread);
    return handles;
}

Process::~Process() {
    if (Running()) Kill();
}

bool Process::Create(const char* program, std::string commandLine, const std::string& workingDir) {
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(program, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info))
        return false;
    handles_ = OwnStartedHandles(info);
    id_ = info.dwProcessId;
    return true;
}

bool Process::Start(const std::string& program, const std::string& arguments,
                    const std::string& workingDir) {
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    return Create(program.c_str(), commandLine, workingDir);
}

bool Process::StartCommandLine(const std::string& commandLine) {
    return Create(nullptr, commandLine, "");
}

bool Process::WaitForExit(DWORD timeoutMs) {
    return handles_.process && WaitForSingleObject(handles_.process.Get(), timeoutMs) == WAIT_OBJECT_0;
}

bool Process::Running() const {
    return handles_.process && WaitForSingleObject(handles_.process.Get(), 0) == WAIT_TIMEOUT;
}

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (handles_.process) GetExitCodeProcess(handles_.process.Get(), &code);
    return code;
}

void Process::Kill() {
    if (!handles_.process) return;
    TerminateProcess(handles_.process.Get(), 1);
    WaitForSingleObject(handles_.process.Get(), 5000);
}

namespace {

struct WindowSearch {
    const std::string* title;
    DWORD processId;
    const char* className;
    HWND found;
    std::vector<HWND>* all;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId && owner != search->processId) return TRUE;
    if (search->all) {
        search->all->push_back(window);
        return TRUE;
    }
    if (!IsWindowVisible(window)) return TRUE;
    if (search->className && ClassName(window) != search->className) return TRUE;
    if (WindowText(window) != *search->title) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindTopWindow(const std::string& title, DWORD processId, const char* className) {
    WindowSearch search{&title, processId, className, nullptr, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForTopWindow(const std::string& title, DWORD processId, DWORD timeoutMs,
                      const char* className) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(title, processId, className)) != nullptr; },
              timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return WaitUntil([&] { return !IsWindow(window); }, timeoutMs);
}

std::vector<HWND> TopWindowsOf(DWORD processId) {
    std::vector<HWND> windows;
    std::string none;
    WindowSearch search{&none, processId, nullptr, nullptr, &windows};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return windows;
}

std::string WindowText(HWND window) {
    char buffer[1024];
    // WM_GETTEXT reaches other processes' windows and their controls alike.
    LRESULT n = SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string ClassName(HWND window) {
    char buffer[256];
    int n = GetClassNameA(window, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? n : 0);
}

std::string ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? WindowText(control) : std::string();
}

void PostClick(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (control) PostMessageA(control, BM_CLICK, 0, 0);
}

namespace {

const int kMessageBoxTextId = 0xFFFF;

}  // namespace

bool IsMessageBox(HWND window) {
    return ClassName(window) == "#32770" && GetDlgItem(window, kMessageBoxTextId) != nullptr;
}

std::string MessageBoxText(HWND box) { return ControlText(box, kMessageBoxTextId); }

namespace {

std::map<UINT_PTR, std::function<void()>>& PendingCalls() {
    static std::map<UINT_PTR, std::function<void()>> calls;
    return calls;
}

void CALLBACK RunPendingCall(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    auto& calls = PendingCalls();
    auto found = calls.find(timer);
    if (found == calls.end()) return;
    std::function<void()> action = std::move(found->second);
    calls.erase(found);
    action();
}

MessageBoxCatcher* g_catcher = nullptr;

BOOL CALLBACK CollectThreadWindow(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

HICON ShownIcon(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) != "Static") continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
        return reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    }
    return nullptr;
}

}  // namespace

void CallSoon(std::function<void()> action, UINT delayMs) {
    const UINT_PTR timer = SetTimer(nullptr, 0, delayMs, RunPendingCall);
    if (timer) PendingCalls()[timer] = std::move(action);
}

MessageBoxCatcher::MessageBoxCatcher(int button)
    : button_(button), timer_(SetTimer(nullptr, 0, 30, &MessageBoxCatcher::Tick)), boxes_(), whileShown_() {
    g_catcher = this;
}

MessageBoxCatcher::~MessageBoxCatcher() {
    if (timer_) KillTimer(nullptr, timer_);
    if (g_catcher == this) g_catcher = nullptr;
}

void CALLBACK MessageBoxCatcher::Tick(HWND, UINT, UINT_PTR, DWORD) {
    MessageBoxCatcher* catcher = g_catcher;
    if (!catcher) return;
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectThreadWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (!IsWindowVisible(window) || !IsMessageBox(window)) continue;
        // Answered boxes may linger for a moment; each is recorded once.
        if (GetPropA(window, "wintest.caught")) continue;
        SetPropA(window, "wintest.caught", reinterpret_cast<HANDLE>(1));
        CaughtBox box;
        box.caption = WindowText(window);
        box.text = MessageBoxText(window);
        box.icon = ShownIcon(window);
        box.owner = GetWindow(window, GW_OWNER);
        catcher->boxes_.push_back(box);
        if (catcher->whileShown_) catcher->whileShown_(window);
        PostMessageA(window, WM_COMMAND, catcher->button_, 0);
    }
}

namespace {

// The request record of Wine's WinHelpA, tagged with its magic number.
#pragma pack(push, 1)
struct WineHelpRecord {
    WORD size;
    WORD command;
    LONG data;
    LONG reserved;
    WORD ofsFilename;
    WORD ofsData;
};
#pragma pack(pop)
const ULONG_PTR kWineHelpMagic = 0xA1DE505;
const char kFakeHelpProperty[] = "wintest.FakeHelpEngine";

}  // namespace

FakeHelpEngine::FakeHelpEngine() : requests(), window_(nullptr) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &FakeHelpEngine::Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = fakehelp::kWindowClass;
    RegisterClassA(&windowClass);
    window_ = CreateWindowA(fakehelp::kWindowClass, fakehelp::kWindowTitle, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    if (window_) SetPropA(window_, kFakeHelpProperty, this);
}

FakeHelpEngine::~FakeHelpEngine() {
    if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK FakeHelpEngine::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* engine = static_cast<FakeHelpEngine*>(GetPropA(window, kFakeHelpProperty));
    if (message != WM_COPYDATA || !engine) return DefWindowProcA(window, message, wParam, lParam);
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (copy->dwData == fakehelp::kHtmlHelpMagic && copy->cbData == sizeof(fakehelp::HtmlHelpRecord)) {
        const auto* record = static_cast<const fakehelp::HtmlHelpRecord*>(copy->lpData);
        HelpRequest request;
        request.html = true;
        request.command = record->command;
        request.data = record->data;
        request.file.assign(record->file, strnlen(record->file, sizeof record->file));
        engine->requests.push_back(request);
        return engine->accept ? TRUE : FALSE;
    }
    if (copy->dwData != kWineHelpMagic || copy->cbData < sizeof(WineHelpRecord)) return FALSE;
    const auto* record = static_cast<const WineHelpRecord*>(copy->lpData);
    HelpRequest request;
    request.command = record->command;
    request.data = static_cast<DWORD>(record->data);
    if (record->ofsFilename && record->ofsFilename < copy->cbData) {
        const char* file = static_cast<const char*>(copy->lpData) + record->ofsFilename;
        request.file.assign(file, strnlen(file, copy->cbData - record->ofsFilename));
    }
    engine->requests.push_back(request);
    return engine->accept ? TRUE : FALSE;
}

bool FakeHelpEngine::InstallFakeHtmlHelp(const std::string& exeName) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string engine = std::string(system) + "\\hhctrl.ocx";
    // The prefixes share the system folder's files with their template by
    // hard links: the link goes first, so that the copy is this prefix's own
    // and every other prefix keeps Wine's file.
    DeleteFileA(engine.c_str());
    return CopyFileA((BuildDir() + "\\fixtures\\fake_hhctrl.dll").c_str(), engine.c_str(), FALSE) &&
           SetDllOverride(exeName, "hhctrl.ocx", "native");
}

namespace {

// One of Wine's settings for one program: value `name` of the program's key
// under HKCU\Software\Wine\AppDefaults, or of `subkey` below it.
bool SetAppDefault(const std::string& exeName, const std::string& subkey, const char* name,
                   const std::string& value) {
    std::string keyPath = "Software\\Wine\\AppDefaults\\" + exeName;
    if (!subkey.empty()) keyPath += "\\" + subkey;
    return WriteRegistryText(HKEY_CURRENT_USER, keyPath, name, value);
}

}  // namespace

bool SetDllOverride(const std::string& exeName, const char* dll, const std::string& order) {
    return SetAppDefault(exeName, "DllOverrides", dll, order);
}

bool SetReportedWindowsVersion(const std::string& exeName, const std::string& version) {
    const std::string keyPath = "Software\\Wine\\AppDefaults\\" + exeName;
    if (version.empty()) {
        RegKey key;
        if (key.Open(HKEY_CURRENT_USER, keyPath.c_str(), KEY_ALL_ACCESS) != ERROR_SUCCESS) return true;
        const LONG rc = RegDeleteValueA(key.Get(), "Version");
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    }
    return SetAppDefault(exeName, "", "Version", version);
}

bool RunRestartWork(DWORD timeoutMs) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    Process wineboot;
    return wineboot.Start(std::string(system) + "\\wineboot.exe", "-r") && wineboot.WaitForExit(timeoutMs) &&
           wineboot.ExitCode() == 0;
}

namespace {

bool ReadWholeFile(const std::string& windowsPath, std::string* text) {
    std::ifstream in(windowsPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    *text = all.str();
    return true;
}

bool WriteWholeFile(const std::string& windowsPath, const std::string& text) {
    std::ofstream out(windowsPath, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

UnixResult RunUnix(const std::string& command, DWORD timeoutMs) {
    // Wine starts Unix programs but does not pass their exit status back, so
    // the script reports output and status through files.
    static int counter = 0;
    const std::string scratch = UnixArtifactDir() + "/.unix";
    CreateDirectoryA(ToWindowsPath(scratch).c_str(), nullptr);
    const std::string base = scratch + "/cmd" + std::to_string(GetCurrentProcessId()) + "_" +
                             std::to_string(++counter);
    const std::string script = "export PATH=/usr/local/bin:/usr/bin:/bin\n"
                               "( " + command + " ) >'" + base + ".out' 2>&1\n"
                               "echo $? >'" + base + ".tmp' && mv '" + base + ".tmp' '" + base +
                               ".rc'\n";
    UnixResult result;
    if (!WriteWholeFile(ToWindowsPath(base + ".sh"), script)) return result;
    // CreateProcess runs Unix programs named in the command line.
    std::string line = "/bin/sh \"" + base + ".sh\"";
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return result;
    // Closes what is really the started program's, and nothing when Wine
    // gave back no usable handles, as it does for a Unix program.
    OwnStartedHandles(info);
    const std::string rcFile = ToWindowsPath(base + ".rc");
    if (!WaitUntil([&] { return GetFileAttributesA(rcFile.c_str()) != INVALID_FILE_ATTRIBUTES; },
                   timeoutMs))
        return result;
    std::string status;
    ReadWholeFile(rcFile, &status);
    ReadWholeFile(ToWindowsPath(base + ".out"), &result.output);
    result.finished = true;
    result.status = std::atoi(status.c_str());
    return result;
}

std::string Screenshot(const std::string& name, HWND window) {
    const std::string png = UnixArtifactDir() + "/" + name + ".png";
    std::string crop;
    if (window) {
        RECT r;
        if (GetWindowRect(window, &r)) {
            if (r.left < 0) r.left = 0;
            if (r.top < 0) r.top = 0;
            crop = " -crop " + std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) +
                   "+" + std::to_string(r.left) + "+" + std::to_string(r.top) + " +repage";
        }
    }
    UnixResult r = RunUnix("import -window root" + crop + " '" + png + "'", 30000);
    return r.finished && r.status == 0 ? png : std::string();
}

ScreenPixels CaptureScreen(const RECT& area) {
    ScreenPixels pixels;
    static int counter = 0;
    const std::string ppm = UnixArtifactDir() + "/.unix/capture" + std::to_string(GetCurrentProcessId()) + "_" +
                            std::to_string(++counter) + ".ppm";
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return pixels;
    UnixResult r = RunUnix("import -window root -crop " + std::to_string(width) + "x" + std::to_string(height) +
                               "+" + std::to_string(area.left) + "+" + std::to_string(area.top) +
                               " +repage -depth 8 'ppm:" + ppm + "'",
                           30000);
    if (!r.finished || r.status != 0) return pixels;
    std::string data;
    if (!ReadWholeFile(ToWindowsPath(ppm), &data)) return pixels;
    DeleteFileA(ToWindowsPath(ppm).c_str());
    // Binary PPM: "P6", width, height, maxval 255, then the pixels.
    std::istringstream header(data);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    header >> magic >> w >> h >> maxval;
    if (magic != "P6" || w != width || h != height || maxval != 255) return pixels;
    const size_t start = static_cast<size_t>(header.tellg()) + 1;
    if (data.size() < start + static_cast<size_t>(w) * h * 3) return pixels;
    pixels.rgb.assign(data.begin() + start, data.begin() + start + static_cast<size_t>(w) * h * 3);
    pixels.width = w;
    pixels.height = h;
    pixels.ok = true;
    return pixels;
}

std::set<std::string> PdfFiles() {
    std::set<std::string> files;
    for (const char* variable : {"KOPIWA_PDF_DIR", "KOPIWA_FINE_PDF_DIR"}) {
        const std::string dir = Env(variable);
        if (dir.empty()) continue;
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((ToWindowsPath(dir) + "\\*.pdf").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            files.insert(dir + "/" + data.cFileName);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return files;
}

namespace {

bool PdfComplete(const std::string& unixPath) {
    std::string text;
    if (!ReadWholeFile(ToWindowsPath(unixPath), &text)) return false;
    return text.size() > 8 && text.rfind("%%EOF") != std::string::npos &&
           text.rfind("%%EOF") + 16 >= text.size();
}

}  // namespace

std::string WaitForNewPdf(const std::set<std::string>& before, DWORD timeoutMs) {
    std::string found;
    WaitUntil(
        [&] {
            for (const std::string& f : PdfFiles())
                if (!before.count(f) && PdfComplete(f)) {
                    found = f;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

namespace {

PrintBox RunPdfBbox(const std::string& unixPdfPath, const std::string& arguments) {
    PrintBox box;
    UnixResult r = RunUnix("/usr/bin/python3 '" + Env("KOPIWA_SOURCE_DIR") + "/testbed/pdf_bbox.py' '" +
                           unixPdfPath + "' " + arguments);
    if (!r.finished || r.status != 0) return box;
    std::istringstream in(r.output);
    std::string first;
    in >> first;
    if (first == "empty") {
        box.empty = true;
        in >> box.pageWidth >> box.pageHeight;
        box.ok = static_cast<bool>(in);
        return box;
    }
    box.left = std::atof(first.c_str());
    in >> box.top >> box.width >> box.height >> box.pageWidth >> box.pageHeight;
    box.ok = static_cast<bool>(in);
    return box;
}

}  // namespace

PrintBox MeasurePdf(const std::string& unixPdfPath, int dpi) { return RunPdfBbox(unixPdfPath, std::to_string(dpi)); }

PrintBox MeasurePdfWithin(const std::string& unixPdfPath, int dpi, double left, double top, double right,
                          double bottom) {
    char window[128];
    std::snprintf(window, sizeof window, " 128 %.3f %.3f %.3f %.3f", left, top, right, bottom);
    return RunPdfBbox(unixPdfPath, std::to_string(dpi) + window);
}

PdfPage RenderPdf(const std::string& unixPdfPath, int dpi) {
    PdfPage page;
    const std::string base = UnixArtifactDir() + "/rendered-page";
    const UnixResult r = RunUnix("pdftoppm -q -r " + std::to_string(dpi) + " -gray -f 1 -l 1 -singlefile '" +
                                 unixPdfPath + "' '" + base + "'");
    std::string data;
    if (!r.finished || r.status != 0 || !ReadWholeFile(ToWindowsPath(base + ".pgm"), &data)) return page;
    DeleteFileA(ToWindowsPath(base + ".pgm").c_str());
    // Binary PGM: "P5", width, height, maxval 255, then one byte a pixel.
    std::istringstream header(data);
    std::string magic;
    int maxval = 0;
    header >> magic >> page.width >> page.height >> maxval;
    if (magic != "P5" || maxval != 255 || page.width <= 0 || page.height <= 0) return page;
    const size_t start = static_cast<size_t>(header.tellg()) + 1;
    const size_t bytes = static_cast<size_t>(page.width) * page.height;
    if (data.size() < start + bytes) return page;
    page.grey.assign(data.begin() + start, data.begin() + start + bytes);
    page.ok = true;
    return page;
}

Shortcut ReadShortcut(const std::string& linkPath) {
    Shortcut link;
    CoInitialize(nullptr);
    IShellLinkA* shell = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shell)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Load(Wide(linkPath).c_str(), STGM_READ))) {
                char text[1024] = "";
                link.read = SUCCEEDED(shell->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH));
                link.target = text;
                text[0] = '\0';
                shell->GetDescription(text, sizeof text);
                link.description = text;
                text[0] = '\0';
                shell->GetArguments(text, sizeof text);
                link.arguments = text;
                text[0] = '\0';
                shell->GetWorkingDirectory(text, sizeof text);
                link.workingFolder = text;
            }
            file->Release();
        }
        shell->Release();
    }
    CoUninitialize();
    return link;
}

bool WriteShortcut(const std::string& linkPath, const std::string& target, const std::string& description) {
    bool saved = false;
    CoInitialize(nullptr);
    IShellLinkA* shell = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shell)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shell->SetPath(target.c_str())) && SUCCEEDED(shell->SetDescription(description.c_str())) &&
            SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            saved = SUCCEEDED(file->Save(Wide(linkPath).c_str(), TRUE));
            file->Release();
        }
        shell->Release();
    }
    CoUninitialize();
    return saved;
}

void* RedirectImport(const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name; ++module) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + module->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (module->OriginalFirstThunk ? module->OriginalFirstThunk : module->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return previous;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Files and memory.

void RemoveTree(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..") RemoveTree(path + "\\" + name);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

namespace {

void AddToListing(const std::string& folder, const std::string& skip, bool deep, FileListing& listing) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (lstrcmpiA(path.c_str(), skip.c_str()) == 0) continue;
        char entry[96];
        std::snprintf(entry, sizeof entry, "%lu:%lu:%lu:%lu", found.nFileSizeHigh, found.nFileSizeLow,
                      found.ftLastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwLowDateTime);
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        listing[path] = isFolder ? "folder" : entry;
        if (deep && isFolder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            AddToListing(path, skip, deep, listing);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

FileListing ListFiles(const std::string& folder, const std::string& skip, bool deep) {
    FileListing listing;
    AddToListing(folder, skip, deep, listing);
    return listing;
}

std::string ListingDifferences(const FileListing& before, const FileListing& after) {
    std::string text;
    for (const auto& entry : before) {
        auto match = after.find(entry.first);
        if (match == after.end())
            text += "gone: " + entry.first + "\n";
        else if (match->second != entry.second)
            text += "changed: " + entry.first + "\n";
    }
    for (const auto& entry : after)
        if (!before.count(entry.first)) text += "new: " + entry.first + "\n";
    return text;
}

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                    static_cast<int>(wide.size())));
    return wide;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow(text.size() * 2 + 1, '\0');
    narrow.resize(WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0],
                                      static_cast<int>(narrow.size()), nullptr, nullptr));
    return narrow;
}

namespace {

std::string Below(const std::string& path, const std::string& name) { return path.empty() ? name : path + "\\" + name; }

// Ordinal, in any case, as the registry and the file system match names:
// lstrcmpiA ignores control characters, and so takes "Key\x01" for "Key".
bool SamePath(const std::string& a, const std::string& b) {
    std::wstring names[2] = {Wide(a), Wide(b)};
    for (std::wstring& name : names) CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    return names[0] == names[1];
}

// The names go as the registry keeps them (UTF-16): one that has no ANSI
// form could not be opened again, and its parent would never empty.
void DeleteKeyTree(HKEY root, const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        std::vector<std::wstring> children;
        wchar_t name[256];  // the longest key name
        for (DWORD i = 0; RegEnumKeyW(key, i, name, 256) == ERROR_SUCCESS; ++i) children.push_back(name);
        RegCloseKey(key);
        for (const std::wstring& child : children) DeleteKeyTree(root, path.empty() ? child : path + L"\\" + child);
    }
    RegDeleteKeyW(root, path.c_str());
}

// `data` is a buffer for the values' data, one for the whole listing.
void AddRegistry(HKEY key, const std::string& path, const std::string& skip, bool deep, FileListing& listing,
                 std::vector<BYTE>& data) {
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, type = 0, dataSize = static_cast<DWORD>(data.size());
        const LONG result = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data.data(), &dataSize);
        if (result == ERROR_MORE_DATA)  // a larger value: its size stands for its data
            dataSize = 0;
        else if (result != ERROR_SUCCESS)
            break;
        listing[path + "\\@" + name] = std::to_string(type) + " " + std::string(data.begin(), data.begin() + dataSize);
    }
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        const std::string child = Below(path, name);
        if (!skip.empty() && SamePath(child, skip)) continue;
        listing[child] = "key";
        HKEY sub;
        // Keys that lead elsewhere (symbolic links) are not entered: some lead
        // back up, as CurrentControlSet does in Wine's registry.
        if (deep && RegOpenKeyExA(key, name, REG_OPTION_OPEN_LINK, KEY_READ, &sub) == ERROR_SUCCESS) {
            AddRegistry(sub, child, skip, deep, listing, data);
            RegCloseKey(sub);
        }
    }
}

}  // namespace

void DeleteRegistryTree(HKEY root, const std::string& path) { DeleteKeyTree(root, Wide(path)); }

FileListing ListRegistry(HKEY root, const std::string& path, const std::string& skip, bool deep) {
    FileListing listing;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return listing;
    std::vector<BYTE> data(65536);
    AddRegistry(key, path, skip, deep, listing, data);
    RegCloseKey(key);
    return listing;
}

TreeWatch::~TreeWatch() {
    for (Part& part : parts_) {
        if (part.key) {
            RegCloseKey(part.key);
            CloseHandle(part.signal);
        } else {
            FindCloseChangeNotification(part.signal);
        }
    }
}

void TreeWatch::AddParts(const std::string& path) {
    const bool onTheWay = (path.empty() && !skip_.empty()) ||
                          (skip_.size() > path.size() && SamePath(skip_.substr(0, path.size()), path) &&
                           skip_[path.size()] == '\\');
    Part part{path, false, nullptr, nullptr, List(path, false)};
    std::vector<std::string> children;
    for (const auto& entry : part.before)
        if (entry.second == "key" || entry.second == "folder") children.push_back(entry.first);
    if (!onTheWay && subtrees_) {
        FileListing whole = List(path, true);
        part.deep = children.size() >= 100 || whole.size() <= 3000;
        if (part.deep) part.before.swap(whole);
    }
    if (!Arm(part)) return;
    parts_.push_back(part);
    if (!part.deep)
        for (const std::string& child : children)
            if (!SamePath(child, skip_)) AddParts(child);
}

bool TreeWatch::AnySignalled() const {
    // One wait for many parts: a case must cost little when nothing changed.
    std::vector<HANDLE> signals;
    for (const Part& part : parts_) signals.push_back(part.signal);
    for (std::size_t at = 0; at < signals.size(); at += MAXIMUM_WAIT_OBJECTS) {
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(signals.size() - at, MAXIMUM_WAIT_OBJECTS));
        if (WaitForMultipleObjects(count, &signals[at], FALSE, 0) < WAIT_OBJECT_0 + count) return true;
    }
    return false;
}

std::string TreeWatch::Changes(const std::function<bool(const std::string& path)>& allowed, bool everyPart) {
    std::string refused;
    if (!everyPart && !AnySignalled()) return refused;
    for (Part& part : parts_) {
        if (WaitForSingleObject(part.signal, 0) != WAIT_OBJECT_0 && !everyPart) continue;
        Arm(part);
        std::istringstream lines(ListingDifferences(part.before, List(part.path, part.deep)));
        for (std::string line; std::getline(lines, line);) {
            const std::string path = line.substr(line.find(": ") + 2);
            if (!allowed(path.substr(0, path.rfind("\\@"))))
                refused += line + "\n";
            else if (line.compare(0, 5, "new: ") == 0)
                RemoveNew(path);
        }
        part.before = List(part.path, part.deep);
    }
    return refused;
}

// A skipped key that is not there yet needs no parts of its own.
RegistryWatch::RegistryWatch(HKEY root, const std::string& skip) : TreeWatch(skip, true), root_(root) {
    HKEY key;
    if (RegOpenKeyExA(root, skip.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) skip_.clear();
    else RegCloseKey(key);
    AddParts("");
}

FileListing RegistryWatch::List(const std::string& path, bool deep) const {
    return ListRegistry(root_, path, skip_, deep);
}

bool RegistryWatch::Arm(Part& part) const {
    if (!part.key) {
        if (RegOpenKeyExA(root_, part.path.c_str(), 0, KEY_READ | KEY_NOTIFY, &part.key) != ERROR_SUCCESS) return false;
        part.signal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    return RegNotifyChangeKeyValue(part.key, part.deep, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                   part.signal, TRUE) == ERROR_SUCCESS;
}

// A new key goes with all below it; a new value ("key\\@name") alone.
void RegistryWatch::RemoveNew(const std::string& path) const {
    const std::size_t value = path.rfind("\\@");
    HKEY key;
    if (value == std::string::npos) {
        DeleteRegistryTree(root_, path);
    } else if (RegOpenKeyExA(root_, path.substr(0, value).c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, path.substr(value + 2).c_str());
        RegCloseKey(key);
    }
}

FolderWatch::FolderWatch(const std::string& folder, const std::string& skip) : TreeWatch(skip, false) {
    AddParts(folder);
}

bool FolderWatch::Arm(Part& part) const {
    if (part.signal) return FindNextChangeNotification(part.signal) != FALSE;
    const std::string folder = part.path.back() == ':' ? part.path + "\\" : part.path;  // "C:" is a current folder
    part.signal = FindFirstChangeNotificationA(folder.c_str(), part.deep,
                                               FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                                   FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (part.signal != INVALID_HANDLE_VALUE) return true;
    part.signal = nullptr;
    return false;
}

// The process heap, where GlobalAlloc and the installer's HeapAlloc put
// their blocks, every time; the others (the C library's, which also holds
// the tests' own large listings) every 64th time, as validating them takes
// long.
bool HeapsIntactIfChecked() {
    static const bool checked = !Env("KOPIWA_HEAP_CHECK").empty();
    static unsigned calls = 0;
    HANDLE heaps[256] = {GetProcessHeap()};
    const DWORD count = !checked ? 0 : calls++ % 64 ? 1 : std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    bool intact = true;
    for (DWORD i = 0; i < count; ++i) intact = HeapValidate(heaps[i], 0, nullptr) && intact;
    return intact;
}

SIZE_T CommittedMemory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PagefileUsage;
}

}  // namespace wintest

namespace wintest {

std::string DescribeRights(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!descriptor || !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted))
        return "(none)";
    std::string rights = control & SE_DACL_PROTECTED ? "protected" : "";
    for (DWORD i = 0; present && acl && i < acl->AceCount; ++i) {
        // Allowed and denied ACEs share the layout: header, mask, SID.
        ACCESS_ALLOWED_ACE* ace = nullptr;
        char* sid = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace)) || !ConvertSidToStringSidA(&ace->SidStart, &sid))
            return "(unreadable)";
        char mask[16];
        std::snprintf(mask, sizeof mask, "%lx", static_cast<unsigned long>(ace->Mask));
        rights += std::string(rights.empty() ? "" : "; ") +
                  (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "allow " : "deny ") + sid + " " + mask +
                  (ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) ? " inherits" : "");
        LocalFree(sid);
    }
    return rights;
}

std::string ReadRights(const std::string& path) {
    std::vector<BYTE> buffer(4096);
    DWORD size = 0;
    return GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, buffer.data(), 4096, &size)
               ? DescribeRights(buffer.data())
               : "(unreadable)";
}

}  // namespace wintest
