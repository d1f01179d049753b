// The distribution's programs start under Wine and end when asked to.
#include <gtest/gtest.h>

#include <cstring>

#include "setup_texts.h"
#include "wintest.h"

using namespace setuptext;
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
    HWND welcome = WaitForTopWindow(kWelcomeTitle, p.Id(), 30000);
    ASSERT_NE(welcome, nullptr);
    PostClick(welcome, IDCANCEL);
    HWND abort = WaitForTopWindow(kInstallCaption, p.Id(), 15000, "#32770");
    ASSERT_NE(abort, nullptr);
    EXPECT_EQ(MessageBoxText(abort), kAbortText);
    PostClick(abort, IDOK);
    ASSERT_TRUE(p.WaitForExit(15000));
    EXPECT_EQ(p.ExitCode(), 1602u) << "cancelled by the user";
}

// Each program's manifest, read back from its resources: the rights it asks
// for, the Windows versions it names from Vista to 11, and nothing that
// would change its look (visual styles, DPI).
TEST(Smoke, EachProgramDeclaresItsExecutionLevelAndNothingOfItsLook) {
    for (const char* program : {"Setup.exe requireAdministrator", "Kopiwa.exe asInvoker"}) {
        const std::string name(program, std::strchr(program, ' ') - program);
        HMODULE file = LoadLibraryExA((DistDir() + "\\" + name).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC found = file ? FindResourceA(file, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;  // RT_MANIFEST
        ASSERT_NE(found, nullptr) << name;
        const std::string manifest(static_cast<const char*>(LockResource(LoadResource(file, found))),
                                   SizeofResource(file, found));
        FreeLibrary(file);
        EXPECT_NE(manifest.find("level=\"" + std::string(std::strchr(program, ' ') + 1) + "\""), std::string::npos);
        // Vista, 7, 8, 8.1, 10 and 11.
        for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
            EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + id + "}\"/>"), std::string::npos) << name;
        EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos) << name;
        EXPECT_EQ(manifest.find("dpiAware"), std::string::npos) << name;
    }
}
