// The distribution's programs start under Wine and end by themselves.
#include <gtest/gtest.h>

#include "wintest.h"

using namespace wintest;

TEST(Smoke, ProgramsStartAndEnd) {
    for (const char* program : {"Kopiwa.exe", "Setup.exe"}) {
        Process p;
        ASSERT_TRUE(p.Start(DistDir() + "\\" + program)) << program;
        ASSERT_TRUE(p.WaitForExit(30000)) << program;
        EXPECT_EQ(p.ExitCode(), 0u) << program;
    }
}
