// Kopiwa.exe starting: one copier per desktop, and the platforms it refuses.
#include <gtest/gtest.h>

#include "copier_texts.h"
#include "kopiwa_driver.h"

using namespace kopiwa;
using wintest::Process;

TEST(Startup, ASecondStartEndsSilentlyAndLeavesTheFirstAlone) {
    Copier first;
    ASSERT_TRUE(first.Start());
    first.SetText(1005, "222");

    Process second;
    ASSERT_TRUE(second.Start(ProgramPath()));
    bool showedWindow = false;
    const bool ended = wintest::WaitUntil(
        [&] {
            for (HWND window : wintest::TopWindowsOf(second.Id()))
                if (IsWindowVisible(window)) showedWindow = true;
            return !second.Running();
        },
        15000);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(showedWindow) << "no message, no window";

    ASSERT_TRUE(IsWindow(first.Dialog()));
    EXPECT_TRUE(first.Process().Running());
    EXPECT_EQ(first.Text(1005), "222") << "the first copier is undisturbed";
    EXPECT_TRUE(IsWindowEnabled(first.Dialog()));
    EXPECT_TRUE(first.Exit());
}

TEST(Startup, WindowsNt351IsRefusedWithAMessage) {
    DeleteCopierKeys();
    ASSERT_TRUE(wintest::SetReportedWindowsVersion("Kopiwa.exe", "nt351"));
    Process copier;
    ASSERT_TRUE(copier.Start(ProgramPath()));
    HWND box = WaitForMessageBox(copier.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(wintest::WindowText(box), texts::kDialogTitle);
    EXPECT_EQ(wintest::MessageBoxText(box), texts::kWrongWindows);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "no owner";
    for (HWND window : wintest::TopWindowsOf(copier.Id()))
        EXPECT_EQ(GetDlgItem(window, 1001), nullptr) << "no copy dialog behind the message";
    ASSERT_TRUE(AnswerMessageBox(box));
    EXPECT_TRUE(copier.WaitForExit(15000));
    EXPECT_FALSE(ValueExists(kStatusKey, "Scale")) << "ended before the dialog";
    wintest::SetReportedWindowsVersion("Kopiwa.exe", "");
}

TEST(Startup, RunsOnWindows95Nt40AndLater) {
    for (const char* version : {"win95", "win98", "nt40", "win2k"}) {
        ASSERT_TRUE(wintest::SetReportedWindowsVersion("Kopiwa.exe", version));
        Copier copier;
        ASSERT_TRUE(copier.Start()) << version;
        EXPECT_TRUE(copier.Exit()) << version;
    }
    wintest::SetReportedWindowsVersion("Kopiwa.exe", "");
}
