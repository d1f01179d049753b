// The distribution's programs start under Wine and end when asked to.
#include <gtest/gtest.h>

#include "wintest.h"

using namespace wintest;

TEST(Smoke, TheCopierShowsItsDialogAndEndsWhenItIsClosed) {
    Process copier;
    ASSERT_TRUE(copier.Start(DistDir() + "\\Kopiwa.exe"));
    HWND dialog = WaitForTopWindow("KOPIWA", copier.Id(), 30000);
    ASSERT_NE(dialog, nullptr);
    PostClick(dialog, IDOK);
    ASSERT_TRUE(copier.WaitForExit(30000));
    EXPECT_EQ(copier.ExitCode(), 0u);
}

// The installer shows its first page; cancelling it stops the run with the
// abort message, after which the program ends with code 0.
TEST(Smoke, SetupStartsAndEndsWhenCancelled) {
    Process p;
    ASSERT_TRUE(p.Start(DistDir() + "\\Setup.exe"));
    HWND welcome = WaitForTopWindow("セットアップの開始", p.Id(), 30000);
    ASSERT_NE(welcome, nullptr);
    PostClick(welcome, IDCANCEL);
    HWND abort = WaitForTopWindow("KOPIWA セットアップ", p.Id(), 15000, "#32770");
    ASSERT_NE(abort, nullptr);
    EXPECT_EQ(ControlText(abort, 0xFFFF), "セットアップを中止します。");
    PostClick(abort, IDOK);
    ASSERT_TRUE(p.WaitForExit(15000));
    EXPECT_EQ(p.ExitCode(), 1602u) << "cancelled by the user";
}
