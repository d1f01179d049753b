// The distribution's programs start under Wine and end: the copier when its
// dialog is closed, the installer by itself.
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

TEST(Smoke, TheInstallerStartsAndEnds) {
    Process setup;
    ASSERT_TRUE(setup.Start(DistDir() + "\\Setup.exe"));
    ASSERT_TRUE(setup.WaitForExit(30000));
    EXPECT_EQ(setup.ExitCode(), 0u);
}
