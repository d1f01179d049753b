// Driving Setup.exe from outside; see setup_driver.h.
#include "setup_driver.h"

#include <gtest/gtest.h>

using namespace wintest;

namespace setupdrive {

namespace {

const char kAbortText[] = "セットアップを中止します。";

}  // namespace

std::string SetupExe() { return DistDir() + "\\Setup.exe"; }

std::string TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return temp;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

HWND MainWindowOf(DWORD processId) {
    for (HWND window : TopWindowsOf(processId))
        if (ClassName(window) == "WendleClass") return window;
    return nullptr;
}

std::string Answer(const std::string& title, DWORD processId, int button) {
    HWND box = WaitForTopWindow(title, processId, 15000, "#32770");
    if (!box) return "(no message box " + title + ")";
    const std::string text = ControlText(box, 0xFFFF);
    PostClick(box, button);
    return text;
}

void CancelRun(Process& setup, HWND page, const std::string& caption) {
    PostClick(page, IDCANCEL);
    EXPECT_EQ(Answer(caption, setup.Id(), IDOK), kAbortText);
    EXPECT_TRUE(setup.WaitForExit(15000));
    EXPECT_EQ(setup.ExitCode(), 1602u) << "cancelled by the user";
}

}  // namespace setupdrive
