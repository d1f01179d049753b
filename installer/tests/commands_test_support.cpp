// Test support for the script commands; see commands_test_support.h.
#include "commands_test_support.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "run_state.h"
#include "wintest.h"

namespace cmdtest {

const char kCaption[] = "コマンド試験";

BOOL RunLine(CommandHandler handler, const std::string& line, HWND progressDialog) {
    // Longer than LineBuffer on purpose: tests give lines that the interpreter
    // could hold only partly.
    static char buffer[4096];
    lstrcpynA(buffer, line.c_str(), sizeof buffer);
    NextToken(buffer, kLineSeparators);
    return handler(progressDialog);
}

namespace {

// Hidden: the commands only need the window and its lines, and a shown window
// costs Wine a wait for the X server each time.
HWND CreateStandIn(const char* title) {
    return CreateWindowExA(0, "STATIC", title, WS_POPUP | WS_CAPTION, 10, 10, 400, 120,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

}  // namespace

ProgressStandIn::ProgressStandIn() : window_(CreateStandIn("進行状況")) {
    for (int id = 1025; id <= 1027; ++id)
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 10, 5 + (id - 1025) * 25, 380, 20, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    PumpPending();
}

ProgressStandIn::~ProgressStandIn() {
    DestroyWindow(window_);
    PumpPending();
}

std::string ProgressStandIn::Line(int number) const {
    char text[1024] = "";
    GetDlgItemTextA(window_, 1024 + number, text, sizeof text);
    return text;
}

void ProgressStandIn::FillWith(const char* text) {
    for (int id = 1025; id <= 1027; ++id) SetDlgItemTextA(window_, id, text);
}

WindowStandIn::WindowStandIn() : window_(CreateStandIn("主ウィンドウ")) { PumpPending(); }

WindowStandIn::~WindowStandIn() {
    DestroyWindow(window_);
    PumpPending();
}

// ---------------------------------------------------------------- boxes

struct BoxWatcher::State {
    std::vector<int> answers;
    const ProgressStandIn* progress = nullptr;
    mutable std::mutex lock;
    std::vector<SeenBox> boxes;
    std::atomic<bool> stop{false};
    std::thread thread;
};

namespace {

struct FoundBox {
    HWND box = nullptr;
};

BOOL CALLBACK FindOurBox(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(title, kCaption) != 0) return TRUE;
    reinterpret_cast<FoundBox*>(param)->box = window;
    return FALSE;
}

Icon IconKind(HICON icon) {
    if (!icon) return Icon::None;
    if (icon == LoadIconA(nullptr, IDI_HAND)) return Icon::Stop;
    if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) return Icon::Exclamation;
    if (icon == LoadIconA(nullptr, IDI_QUESTION)) return Icon::Question;
    if (icon == LoadIconA(nullptr, IDI_ASTERISK)) return Icon::Information;
    return Icon::Other;
}

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM param) {
    auto* seen = reinterpret_cast<SeenBox*>(param);
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0) return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        seen->icon = IconKind(reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)));
        return TRUE;
    }
    char text[2048] = "";
    GetWindowTextA(child, text, sizeof text);
    if (text[0]) seen->text = text;
    return TRUE;
}

SeenBox ReadBox(HWND box, const ProgressStandIn* progress) {
    SeenBox seen;
    EnumChildWindows(box, ReadBoxChild, reinterpret_cast<LPARAM>(&seen));
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowVisible(button)) seen.buttons.push_back(id);
    }
    for (int id : seen.buttons)
        if ((GetWindowLongA(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            seen.defaultButton = id;
    seen.owner = GetWindow(box, GW_OWNER);
    if (progress)
        for (int line = 1; line <= 3; ++line) seen.progressLines.push_back(progress->Line(line));
    return seen;
}

int ChooseAnswer(const SeenBox& seen, std::vector<int>* answers) {
    auto shows = [&](int id) {
        for (int b : seen.buttons)
            if (b == id) return true;
        return false;
    };
    if (!answers->empty()) {
        const int wanted = answers->front();
        answers->erase(answers->begin());
        if (shows(wanted)) return wanted;
    }
    for (int id : {IDOK, IDNO, IDCANCEL})
        if (shows(id)) return id;
    return IDCANCEL;
}

}  // namespace

BoxWatcher::BoxWatcher(std::vector<int> answers, const ProgressStandIn* progress) : state_(new State) {
    state_->answers = std::move(answers);
    state_->progress = progress;
    State* state = state_;
    state_->thread = std::thread([state] {
        while (!state->stop) {
            FoundBox found;
            EnumWindows(FindOurBox, reinterpret_cast<LPARAM>(&found));
            if (!found.box) {
                Sleep(20);
                continue;
            }
            Sleep(100);  // let the box finish laying itself out
            SeenBox seen = ReadBox(found.box, state->progress);
            int answer;
            {
                std::lock_guard<std::mutex> guard(state->lock);
                answer = ChooseAnswer(seen, &state->answers);
                state->boxes.push_back(seen);
            }
            PostMessageA(found.box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(found.box, answer)));
            for (int i = 0; i < 250 && IsWindow(found.box); ++i) Sleep(20);
        }
    });
}

BoxWatcher::~BoxWatcher() {
    state_->stop = true;
    state_->thread.join();
    delete state_;
}

std::vector<SeenBox> BoxWatcher::Boxes() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->boxes;
}

// ---------------------------------------------------------------- beeps

namespace {

std::mutex g_beepLock;
std::vector<UINT> g_beeps;

BOOL WINAPI RecordBeep(UINT type) {
    std::lock_guard<std::mutex> guard(g_beepLock);
    g_beeps.push_back(type);
    return TRUE;
}

}  // namespace

void ClearBeeps() {
    static const bool redirected =
        wintest::RedirectImport("user32.dll", "MessageBeep", reinterpret_cast<void*>(RecordBeep)) != nullptr;
    EXPECT_TRUE(redirected) << "MessageBeep is not imported by name from user32.dll";
    std::lock_guard<std::mutex> guard(g_beepLock);
    g_beeps.clear();
}

std::vector<UINT> Beeps() {
    std::lock_guard<std::mutex> guard(g_beepLock);
    return g_beeps;
}

// ---------------------------------------------------------------- files

std::string MakeScratchFolder(const std::string& name) {
    const std::string folder = wintest::TempFolder() + "cmd_" + name;
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FILETIME LastWriteTime(const std::string& path) {
    FILETIME time = {};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) time = data.ftLastWriteTime;
    return time;
}

void SetLastWriteTime(const std::string& path, const FILETIME& time) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

FILETIME Later(const FILETIME& time, int seconds) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    value.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
    FILETIME later;
    later.dwLowDateTime = value.LowPart;
    later.dwHighDateTime = value.HighPart;
    return later;
}

void CommandTest::SetUp() {
    ResetRunState();
    lstrcpyA(Caption, kCaption);
    ClearBeeps();
    scratch_ = MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

}  // namespace cmdtest
