// Runs the installer's window and message loop with a script of the test's own
// on a thread of its own, so that the test thread can find its pages and
// message boxes and click them as a user would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class ScriptRun {
public:
    // `script` is the text in the source's narrow encoding (Shift-JIS after
    // compilation); `commandLine` as Setup.exe would get it; `prepare` runs on
    // the installer's thread after the start-up and before the first step.
    explicit ScriptRun(std::string script, std::string commandLine = "Setup.exe",
                       std::function<void()> prepare = {});
    ~ScriptRun();
    ScriptRun(const ScriptRun&) = delete;
    ScriptRun& operator=(const ScriptRun&) = delete;

    // Whether the run ended (quit request) within the time; afterwards the
    // run state is the run's final state.
    bool WaitForEnd(DWORD timeoutMs = 20000);

    // A visible dialog of this process with this title (a page, the progress
    // dialog or a message box).
    HWND WaitForDialog(const std::string& title, DWORD timeoutMs = 15000);
    // Waits for a message box with `title`, returns its text and presses
    // `button` (IDOK, IDCANCEL...).
    std::string AnswerMessageBox(const std::string& title, int button, DWORD timeoutMs = 15000);

private:
    static DWORD WINAPI ThreadMain(void* self);

    std::string script_;
    std::string commandLine_;
    std::function<void()> prepare_;
    HANDLE thread_;
    DWORD threadId_;
};

// Waits until `dialog` has gone.
bool WaitForGone(HWND dialog, DWORD timeoutMs = 15000);
// Registry values under HKCU\Software\KopiwaTest that scripts read with
// defaultdirfromreg 1 "Software\KopiwaTest" "name".
void SetTestValue(const char* name, const char* value);
void DeleteTestValues();
