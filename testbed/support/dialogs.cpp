// See dialogs.h.
#include "dialogs.h"

namespace wintest {

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
    auto* texts = reinterpret_cast<std::string*>(param);
    if (!texts->empty()) *texts += "|";
    *texts += WindowText(child);
    return TRUE;
}

}  // namespace

RECT WindowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

RECT WorkArea() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    return monitor.rcWork;
}

std::string ChildTexts(HWND dialog) {
    std::string texts;
    EnumChildWindows(dialog, CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

std::string AnswerMessageBox(const std::string& title, DWORD processId, int button, DWORD timeoutMs) {
    HWND box = WaitForTopWindow(title, processId, timeoutMs, "#32770");
    if (!box) return "(no message box titled " + title + ")";
    const std::string text = MessageBoxText(box);
    PostClick(box, button);
    WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); });
    return text;
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopWindowsOf(processId))
                if (IsWindowVisible(window) && IsMessageBox(window)) {
                    found = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

bool AnswerMessageBox(HWND box) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return WaitForWindowGone(box);
}

bool RanUnseen(Process& process, DWORD timeoutMs) {
    bool shown = false;
    WaitUntil(
        [&] {
            for (HWND window : TopWindowsOf(process.Id()))
                if (IsWindowVisible(window)) shown = true;
            return !process.Running();
        },
        timeoutMs);
    return !shown;
}

}  // namespace wintest
