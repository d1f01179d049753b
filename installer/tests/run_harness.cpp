// See run_harness.h.
#include "run_harness.h"

#include "dialogs.h"
#include "library_search.h"
#include "main_window.h"
#include "registry.h"
#include "run_state.h"
#include "script.h"
#include "wintest.h"

ScriptRun::ScriptRun(std::string script, std::string commandLine, std::function<void()> prepare)
    : script_(std::move(script)), commandLine_(std::move(commandLine)), prepare_(std::move(prepare)),
      thread_(nullptr), threadId_(0) {
    // The installer loads COMCTL32 when it starts, which Setup.exe does on
    // its only thread. Here the run has a thread of its own while this one
    // reads its windows; since that load moved to run time, the first run of
    // a test program now and then hung on its first page under Wine. The DLL
    // is loaded here first, so that its first load races with nothing.
    InitCommonControlsFromSystem();
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId_);
}

ScriptRun::~ScriptRun() {
    if (!thread_) return;
    if (!WaitForEnd(20000)) {
        // A run left waiting on a page: a quit request ends its modal loops
        // and then its main loop.
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        if (WaitForSingleObject(thread_, 10000) != WAIT_OBJECT_0) TerminateThread(thread_, 1);
    }
    CloseHandle(thread_);
}

DWORD WINAPI ScriptRun::ThreadMain(void* self) {
    ScriptRun* run = static_cast<ScriptRun*>(self);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ResetRunState();
    UseScriptText(run->script_.data(), static_cast<DWORD>(run->script_.size()));
    ParseCommandLine(run->commandLine_.c_str());
    if (!RegisterMainWindowClass(instance)) return 1;
    PrepareRunState();
    if (run->prepare_) run->prepare_();
    if (CreateMainWindow(instance)) {
        RunMessageLoop();
        DestroyWindow(MainWindow);
    }
    UnregisterMainWindowClass(instance);
    return 0;
}

bool ScriptRun::WaitForEnd(DWORD timeoutMs) {
    return wintest::WaitUntil([&] { return WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }, timeoutMs);
}

HWND ScriptRun::WaitForDialog(const std::string& title, DWORD timeoutMs) {
    return wintest::WaitForTopWindow(title, GetCurrentProcessId(), timeoutMs, "#32770");
}

std::string ScriptRun::AnswerMessageBox(const std::string& title, int button, DWORD timeoutMs) {
    return wintest::AnswerMessageBox(title, GetCurrentProcessId(), button, timeoutMs);
}

bool WaitForGone(HWND dialog, DWORD timeoutMs) {
    return wintest::WaitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, timeoutMs);
}

void SetTestValue(const char* name, const char* value) {
    wintest::WriteRegistryText(HKEY_CURRENT_USER, "Software\\KopiwaTest", name, value);
}

void DeleteTestValues() { RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KopiwaTest"); }
