// Test support for the script commands: running one script line through its
// handler, a stand-in progress dialog, a watcher that reads and answers the
// message boxes the commands show, the beeps they make, and scratch files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "files.h"
#include "script.h"
#include "wintest.h"

namespace cmdtest {

// The title every test gives its message boxes (the run's Caption).
extern const char kCaption[];

// Cuts `line` into tokens as the interpreter does, takes the keyword, and calls
// the handler, which pulls its own arguments.
BOOL RunLine(CommandHandler handler, const std::string& line, HWND progressDialog = nullptr);

// A top-level window with the progress dialog's three text lines (1025-1027).
class ProgressStandIn {
public:
    ProgressStandIn();
    ~ProgressStandIn();
    ProgressStandIn(const ProgressStandIn&) = delete;
    ProgressStandIn& operator=(const ProgressStandIn&) = delete;

    HWND window() const { return window_; }
    std::string Line(int number) const;  // 1, 2 or 3
    void FillWith(const char* text);     // all three lines

private:
    HWND window_;
};

// A plain top-level window standing in for the installer's main window.
class WindowStandIn {
public:
    WindowStandIn();
    ~WindowStandIn();
    WindowStandIn(const WindowStandIn&) = delete;
    WindowStandIn& operator=(const WindowStandIn&) = delete;
    HWND window() const { return window_; }

private:
    HWND window_;
};

enum class Icon { None, Stop, Exclamation, Question, Information, Other };

struct SeenBox {
    std::string text;
    Icon icon = Icon::None;
    std::vector<int> buttons;  // visible ones, of IDOK, IDCANCEL, IDYES, IDNO
    int defaultButton = 0;
    HWND owner = nullptr;
    std::vector<std::string> progressLines;  // the stand-in's lines while the box showed
};

// Watches this process for message boxes titled kCaption from a thread of its
// own, records each and presses the next of `answers` (then OK, No or Cancel).
class BoxWatcher {
public:
    explicit BoxWatcher(std::vector<int> answers = {}, const ProgressStandIn* progress = nullptr);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    std::vector<SeenBox> Boxes() const;

private:
    struct State;
    State* state_;
};

// The sounds passed to MessageBeep since the last ClearBeeps(). MessageBeep is
// redirected in this program's import table, so nothing is played.
void ClearBeeps();
std::vector<UINT> Beeps();

// A script argument in quotes.
inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Files
std::string MakeScratchFolder(const std::string& name);  // emptied, under the temp folder
using wintest::ReadBytes;
using wintest::RemoveTree;
using wintest::WriteBytes;
using wintest::Exists;
bool IsFolder(const std::string& path);
FILETIME LastWriteTime(const std::string& path);
void SetLastWriteTime(const std::string& path, const FILETIME& time);
FILETIME Later(const FILETIME& time, int seconds);

}  // namespace cmdtest

#include <gtest/gtest.h>

namespace cmdtest {

// Every command test starts from the run state of a fresh program, with the
// test caption, no beeps heard and an empty scratch folder of its own.
class CommandTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::string scratch_;
};

}  // namespace cmdtest
