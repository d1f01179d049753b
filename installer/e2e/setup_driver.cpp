// Driving Setup.exe from outside; see setup_driver.h.
#include "setup_driver.h"

#include <gtest/gtest.h>

#include "dialogs.h"
#include "setup_texts.h"

using namespace wintest;

namespace setupdrive {

std::string SetupExe() { return DistDir() + "\\Setup.exe"; }

HWND MainWindowOf(DWORD processId) {
    for (HWND window : TopWindowsOf(processId))
        if (ClassName(window) == "WendleClass") return window;
    return nullptr;
}

void CancelRun(Process& setup, HWND page, const std::string& caption) {
    PostClick(page, IDCANCEL);
    EXPECT_EQ(AnswerMessageBox(caption, setup.Id(), IDOK), setuptext::kAbortText);
    EXPECT_TRUE(setup.WaitForExit(15000));
    EXPECT_EQ(setup.ExitCode(), 1602u) << "cancelled by the user";
}

}  // namespace setupdrive
