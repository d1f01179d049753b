// Setup.exe from the distribution folder, driven through its windows: the
// backdrop, one installer per desktop, the platform families, the silent run,
// scripts of the tests' own put into copies of the program, and the clean-up
// copy that removes the uninstaller after it has ended.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs.h"
#include "files.h"
#include "registry.h"
#include "setup_driver.h"
#include "setup_texts.h"
#include "wintest.h"

using namespace setupdrive;
using namespace setuptext;
using namespace wintest;

namespace {

struct ResourceCopy {
    HMODULE from;
    HANDLE to;
    bool ok;
};

// Copies every resource of one language except the setup script.
BOOL CALLBACK CopyLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param) {
    auto* copy = reinterpret_cast<ResourceCopy*>(param);
    if (!IS_INTRESOURCE(type) && lstrcmpiA(type, "TEXT") == 0 && name == MAKEINTRESOURCEA(143)) return TRUE;
    HRSRC found = FindResourceExA(module, type, name, language);
    void* data = found ? LockResource(LoadResource(module, found)) : nullptr;
    if (!data || !UpdateResourceA(copy->to, type, name, language, data, SizeofResource(module, found)))
        copy->ok = false;
    return TRUE;
}

BOOL CALLBACK CopyName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    EnumResourceLanguagesA(module, type, name, CopyLanguage, param);
    return TRUE;
}

BOOL CALLBACK CopyType(HMODULE module, LPSTR type, LONG_PTR param) {
    EnumResourceNamesA(module, type, CopyName, param);
    return TRUE;
}

// A copy of Setup.exe at `path` that carries `script` (the test source's
// text, Shift-JIS once compiled) instead of its own, encoded as the build
// encodes the real one; nullptr leaves the copy without a script.
bool PatchedSetup(const std::string& path, const char* script) {
    if (!CopyFileA(SetupExe().c_str(), path.c_str(), FALSE)) return false;
    if (!script) {
        // Rebuild the resources without the script.
        HMODULE original = LoadLibraryExA(SetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HANDLE update = original ? BeginUpdateResourceA(path.c_str(), TRUE) : nullptr;
        if (!update) return false;
        ResourceCopy copy{original, update, true};
        EnumResourceTypesA(original, CopyType, reinterpret_cast<LONG_PTR>(&copy));
        const bool written = EndUpdateResourceA(update, !copy.ok) && copy.ok;
        FreeLibrary(original);
        return written;
    }
    std::string bytes;
    for (const char* p = script; *p; ++p) {
        if (*p == '\n') bytes += '\r';
        bytes += *p;
    }
    bytes += '\x1A';
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    if (!update) return false;
    const BOOL updated = UpdateResourceA(update, "TEXT", MAKEINTRESOURCEA(143),
                                         MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), &bytes[0],
                                         static_cast<DWORD>(bytes.size()));
    return EndUpdateResourceA(update, !updated) && updated;
}

// The rows of a bitmap resource of Setup.exe as 0x00RRGGBB values, top row
// first.
std::vector<std::vector<COLORREF>> BitmapOfSetup(int id) {
    std::vector<std::vector<COLORREF>> rows;
    HMODULE setup = LoadLibraryExA(SetupExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!setup) return rows;
    HBITMAP bitmap = LoadBitmapA(setup, MAKEINTRESOURCEA(id));
    BITMAP info = {};
    if (bitmap && GetObjectA(bitmap, sizeof info, &info)) {
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = info.bmWidth;
        format.bmiHeader.biHeight = -info.bmHeight;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        std::vector<DWORD> bits(static_cast<size_t>(info.bmWidth) * info.bmHeight);
        HDC dc = GetDC(nullptr);
        GetDIBits(dc, bitmap, 0, info.bmHeight, bits.data(), &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, dc);
        for (int y = 0; y < info.bmHeight; ++y) {
            std::vector<COLORREF> row;
            for (int x = 0; x < info.bmWidth; ++x) {
                const DWORD v = bits[static_cast<size_t>(y) * info.bmWidth + x];
                row.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
            }
            rows.push_back(row);
        }
    }
    if (bitmap) DeleteObject(bitmap);
    FreeLibrary(setup);
    return rows;
}

}  // namespace

// The backdrop: maximised, tiled with bitmap 140 from the client area's corner,
// the title bitmap 148 as white letters at (10, 5) over a black shadow 4
// pixels lower right.
TEST(SetupWindow, TheBackdropIsTiledAndCarriesTheShadowedTitle) {
    Process setup;
    ASSERT_TRUE(setup.Start(SetupExe()));
    HWND welcome = WaitForTopWindow(kWelcomeTitle, setup.Id(), 30000);
    ASSERT_NE(welcome, nullptr);
    HWND main = MainWindowOf(setup.Id());
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(WindowText(main), kInstallCaption);
    EXPECT_TRUE(IsZoomed(main));
    EXPECT_EQ(GetWindow(welcome, GW_OWNER), main);
    Sleep(500);
    EXPECT_FALSE(Screenshot("backdrop_and_welcome").empty());

    const auto tile = BitmapOfSetup(140);
    const auto title = BitmapOfSetup(148);
    ASSERT_EQ(tile.size(), 128u);
    ASSERT_EQ(title.size(), 110u);
    ASSERT_EQ(title[0].size(), 216u);
    POINT origin = {0, 0};
    ClientToScreen(main, &origin);
    const RECT area = {origin.x, origin.y, origin.x + 300, origin.y + 200};
    const ScreenPixels screen = CaptureScreen(area);
    ASSERT_TRUE(screen.ok);
    const auto dark = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < 216 && y < 110 && title[y][x] == RGB(0, 0, 0);
    };
    int wrong = 0, white = 0, shadow = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            COLORREF expected = tile[y % 128][x % 128];
            if (dark(x - 10, y - 5)) {
                expected = RGB(255, 255, 255);
                ++white;
            } else if (dark(x - 14, y - 9)) {
                expected = RGB(0, 0, 0);
                ++shadow;
            }
            if (screen.At(x, y) != expected && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << screen.At(x, y) << ", expected "
                              << expected;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(white, 500) << "the title has lettering";
    EXPECT_GT(shadow, 100) << "and a shadow";
    CancelRun(setup, welcome, kInstallCaption);
}

// One installer per desktop: a second start brings the first one's page to
// the front and ends at once.
TEST(SetupWindow, ASecondStartActivatesTheFirstAndEnds) {
    Process first;
    ASSERT_TRUE(first.Start(SetupExe(), "-u"));
    HWND welcome = WaitForTopWindow(kWelcomeTitle, first.Id(), 30000);
    ASSERT_NE(welcome, nullptr);
    EXPECT_EQ(WindowText(MainWindowOf(first.Id())), kUninstallCaption);
    EXPECT_EQ(ControlText(welcome, 1007), "これからアンインストールを開始します。");

    Process second;
    ASSERT_TRUE(second.Start(SetupExe()));
    ASSERT_TRUE(second.WaitForExit(15000));
    EXPECT_EQ(second.ExitCode(), 1618u) << "another installer runs";
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == welcome; }, 5000))
        << "the first installer's page is brought to the front";
    CancelRun(first, welcome, kUninstallCaption);
}

// A clean-up copy skips the single-instance test, and while it waits its
// hidden window keeps a new installer from starting.
TEST(SetupWindow, ACleanupCopyStartsBesideAnInstallerAndBlocksANewOne) {
    const std::string target = TempFolder() + "held.exe";
    HANDLE held = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    Process installer;
    ASSERT_TRUE(installer.Start(SetupExe()));
    HWND welcome = WaitForTopWindow(kWelcomeTitle, installer.Id(), 30000);
    ASSERT_NE(welcome, nullptr);
    Process cleanup;
    ASSERT_TRUE(cleanup.Start(SetupExe(), "-cleanupinstall \"" + target + "\""));
    EXPECT_FALSE(cleanup.WaitForExit(2500)) << "the clean-up copy waits for its file";
    CancelRun(installer, welcome, kInstallCaption);

    Process blocked;
    ASSERT_TRUE(blocked.Start(SetupExe()));
    ASSERT_TRUE(blocked.WaitForExit(15000)) << "the clean-up copy's hidden window counts as an installer";
    EXPECT_EQ(blocked.ExitCode(), 1618u);
    EXPECT_EQ(FindTopWindow(kWelcomeTitle), nullptr);
    for (HWND window : TopWindowsOf(cleanup.Id())) EXPECT_FALSE(IsWindowVisible(window));

    CloseHandle(held);
    ASSERT_TRUE(cleanup.WaitForExit(5000));
    EXPECT_EQ(cleanup.ExitCode(), 0u);
    EXPECT_FALSE(Exists(target));
}

// A silent run that waits for the copier to end still answers a second
// installer that activates it, which then ends at once.
TEST(SetupWindow, ASecondStartEndsWhileASilentRunWaitsForTheCopier) {
    HANDLE copier = CreateMutexA(nullptr, FALSE, "HarBel KOPIWA Mutex");
    ASSERT_NE(copier, nullptr);
    const std::string exe = TempFolder() + "SetupWaiting.exe";
    ASSERT_TRUE(PatchedSetup(exe, "chkclassexec \"HarBel KOPIWA Mutex\" \"KOPIWA\"\nend\n"));
    Process waiting;
    ASSERT_TRUE(waiting.Start(exe, "-s"));
    EXPECT_FALSE(waiting.WaitForExit(2000)) << "it waits while the copier runs";

    Process second;
    ASSERT_TRUE(second.Start(SetupExe()));
    EXPECT_TRUE(second.WaitForExit(10000)) << "the second installer was kept waiting";
    EXPECT_EQ(second.ExitCode(), 1618u);

    CloseHandle(copier);
    ASSERT_TRUE(waiting.WaitForExit(10000));
    EXPECT_EQ(waiting.ExitCode(), 0u);
}

// The uninstaller removes itself: its clean-up copy deletes it once the
// uninstall run has ended, then the installation folder and its emptied
// parent, and stops before Program Files.
TEST(SetupCleanup, TheUninstallerAndItsFoldersGoOnceItHasEnded) {
    const std::string folder = "C:\\Program Files\\Harbel\\Kopiwa";
    MakeFolders(folder);
    const std::string uninstaller = folder + "\\Hbuninst.exe";
    ASSERT_TRUE(CopyFileA(SetupExe().c_str(), uninstaller.c_str(), FALSE));

    Process uninstall;
    ASSERT_TRUE(uninstall.Start(uninstaller, "-u"));
    HWND welcome = WaitForTopWindow(kWelcomeTitle, uninstall.Id(), 30000);
    ASSERT_NE(welcome, nullptr);

    const std::string copy = TempFolder() + "Hbuninst.exe";
    ASSERT_TRUE(CopyFileA(SetupExe().c_str(), copy.c_str(), FALSE));
    Process cleanup;
    ASSERT_TRUE(cleanup.Start(copy, "-cleanupuninstall \"" + uninstaller + "\" \"" + folder + "\\\"0"));
    EXPECT_FALSE(cleanup.WaitForExit(2500));
    EXPECT_TRUE(Exists(uninstaller)) << "a running uninstaller cannot be deleted yet";

    CancelRun(uninstall, welcome, kUninstallCaption);
    ASSERT_TRUE(cleanup.WaitForExit(10000));
    EXPECT_EQ(cleanup.ExitCode(), 0u);
    EXPECT_FALSE(Exists(uninstaller));
    EXPECT_FALSE(Exists(folder));
    EXPECT_FALSE(Exists("C:\\Program Files\\Harbel"));
    EXPECT_TRUE(Exists("C:\\Program Files"));
}

TEST(SetupCleanup, AFolderThatStillHoldsAFileStays) {
    const std::string folder = "C:\\Program Files\\Harbel\\Kopiwa";
    MakeFolders(folder);
    const std::string target = folder + "\\Hbuninst.exe";
    const std::string kept = folder + "\\Readme.txt";
    for (const std::string& file : {target, kept}) {
        HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }
    Process cleanup;
    ASSERT_TRUE(cleanup.Start(SetupExe(), "-cleanupuninstall \"" + target + "\" \"" + folder + "\\\"0"));
    ASSERT_TRUE(cleanup.WaitForExit(10000));
    EXPECT_EQ(cleanup.ExitCode(), 0u);
    EXPECT_FALSE(Exists(target));
    EXPECT_TRUE(Exists(kept));
    EXPECT_TRUE(Exists("C:\\Program Files\\Harbel"));
    DeleteFileA(kept.c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA("C:\\Program Files\\Harbel");
}

TEST(SetupCleanup, AReadOnlyTargetIsLeftAndTheCopyEnds) {
    const std::string target = TempFolder() + "read-only.exe";
    HANDLE h = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    Process cleanup;
    ASSERT_TRUE(cleanup.Start(SetupExe(), "-cleanupinstall \"" + target + "\""));
    ASSERT_TRUE(cleanup.WaitForExit(10000));
    EXPECT_EQ(cleanup.ExitCode(), 0u);
    EXPECT_TRUE(Exists(target));
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(target.c_str());
}

// ---------------------------------------------------------------------------
// Scripts of the tests' own in copies of the program

namespace {

// Which platform block ran shows on the folder page: each block reads its own
// folder from the registry.
const char kPlatformScript[] =
    "appname \"テスト\"\n"
    "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"start\"\n"
    "if95\n"
    "\tdefaultdirfromreg 1 \"Software\\KopiwaTest\" \"win95\"\n"
    "endif95\n"
    "ifnt\n"
    "\tdefaultdirfromreg 1 \"Software\\KopiwaTest\" \"nt\"\n"
    "endifnt\n"
    "welcome 0 0 \"C:\\unused\"\n"
    "end\n";

void SetTestValue(const char* name, const char* value) {
    ASSERT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, "Software\\KopiwaTest", name, value));
}

// Runs `exe` up to its folder page and returns the folder shown there.
std::string FolderShownBy(const std::string& exe) {
    Process setup;
    if (!setup.Start(exe)) return "(did not start)";
    HWND welcome = WaitForTopWindow(kWelcomeTitle, setup.Id(), 30000);
    if (!welcome) return "(no welcome page)";
    PostClick(welcome, IDOK);
    HWND folder = WaitForTopWindow(kFolderTitle, setup.Id());
    if (!folder) return "(no folder page)";
    const std::string shown = ControlText(folder, 1003);
    CancelRun(setup, folder, "テスト セットアップ");
    return shown;
}

}  // namespace

TEST(SetupScript, PlatformBlocksFollowTheReportedWindowsFamily) {
    SetTestValue("start", "C:\\start");
    SetTestValue("win95", "C:\\win95");
    SetTestValue("nt", "C:\\nt");
    const std::string folder = TempFolder();
    const struct {
        const char* exe;
        const char* version;
        const char* folder;
    } cases[] = {
        {"Setup95.exe", "win95", "C:\\win95"},
        {"Setup98.exe", "win98", "C:\\win95"},
        {"SetupNt4.exe", "nt40", "C:\\nt"},
        {"SetupW2k.exe", "win2k", "C:\\nt"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(PatchedSetup(folder + c.exe, kPlatformScript)) << c.exe;
        ASSERT_TRUE(SetReportedWindowsVersion(c.exe, c.version));
        EXPECT_EQ(FolderShownBy(folder + c.exe), c.folder) << c.version;
    }
}

TEST(SetupScript, EndInsideAnIf95BlockEndsTheRunOnNt) {
    const std::string exe = TempFolder() + "SetupEnd.exe";
    ASSERT_TRUE(PatchedSetup(exe, "appname \"テスト\"\nif95\n\tend\nendif95\nwelcome 0 0 \"C:\\x\"\nend\n"));
    ASSERT_TRUE(SetReportedWindowsVersion("SetupEnd.exe", "nt40"));
    Process setup;
    ASSERT_TRUE(setup.Start(exe));
    HWND done = WaitForTopWindow(kInstallDoneTitle, setup.Id(), 30000);
    ASSERT_NE(done, nullptr) << "the finish page, not the welcome page";
    PostClick(done, IDOK);
    ASSERT_TRUE(setup.WaitForExit(15000));
    EXPECT_EQ(setup.ExitCode(), 0u);
}

// %SRCDIR% is the folder the program runs from, cut at its last backslash
// even when the folder's name ends in a character whose second byte is one.
TEST(SetupScript, SrcDirIsTheProgramsFolderAlsoUnderADoubleByteName) {
    const std::string folder = TempFolder() + "配布表";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string exe = folder + "\\Setup.exe";
    ASSERT_TRUE(PatchedSetup(exe, "appname \"テスト\"\nwelcome 0 0 \"%SRCDIR%sub\"\nend\n"));
    EXPECT_EQ(FolderShownBy(exe), folder + "\\sub");
}

TEST(SetupScript, ASilentRunShowsNothingAndEnds) {
    const std::string exe = TempFolder() + "SetupSilent.exe";
    ASSERT_TRUE(PatchedSetup(exe, "welcome 3 1 \"%PRGDIR%Harbel\\Kopiwa\"\nstartmeter\nendmeter\nend\n"));
    Process setup;
    ASSERT_TRUE(setup.Start(exe, "-s"));
    const bool unseen = RanUnseen(setup, 15000);
    ASSERT_TRUE(setup.WaitForExit(1000));
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_TRUE(unseen) << "a silent run showed a window";
}

// A run that a command stops ends with the failure code once its messages are
// answered; -norestart changes nothing where no restart is needed.
TEST(SetupScript, ARunStoppedByAFailingCopyEndsWithTheFailureCode) {
    const std::string exe = TempFolder() + "SetupFailing.exe";
    ASSERT_TRUE(PatchedSetup(exe, "appname \"テスト\"\ncopy \"C:\\missing.exe\" \"C:\\copied.exe\"\nend\n"));
    for (const char* options : {"", "-norestart"}) {
        Process setup;
        ASSERT_TRUE(setup.Start(exe, options));
        // The copy's own message, then the run's: each answered with OK.
        for (int box = 0; box < 4 && !setup.WaitForExit(0); ++box) {
            HWND shown = WaitForTopWindow("テスト セットアップ", setup.Id(), 15000, "#32770");
            if (shown) PostClick(shown, IDOK);
        }
        ASSERT_TRUE(setup.WaitForExit(15000)) << options;
        EXPECT_EQ(setup.ExitCode(), 1603u) << options;
        EXPECT_FALSE(Exists("C:\\copied.exe"));
    }
}

// Unsafe input: a program file without its script says so and ends.
TEST(SetupScript, AProgramWithoutItsScriptSaysSoAndEnds) {
    const std::string exe = TempFolder() + "SetupNoScript.exe";
    ASSERT_TRUE(PatchedSetup(exe, nullptr));
    HMODULE copy = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(FindResourceA(copy, MAKEINTRESOURCEA(143), "TEXT"), nullptr);
    FreeLibrary(copy);

    Process setup;
    ASSERT_TRUE(setup.Start(exe));
    HWND box = WaitForTopWindow("Wendle セットアップ", setup.Id(), 30000, "#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MainWindowOf(setup.Id()), nullptr) << "no backdrop for a run that cannot start";
    EXPECT_EQ(AnswerMessageBox("Wendle セットアップ", setup.Id(), IDOK), "セットアップスクリプトが見つかりません。");
    ASSERT_TRUE(setup.WaitForExit(15000));
    EXPECT_EQ(setup.ExitCode(), 1603u) << "nothing was installed";

    // A clean-up copy does without it.
    const std::string target = TempFolder() + "cleanup-target.exe";
    CloseHandle(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    Process cleanup;
    ASSERT_TRUE(cleanup.Start(exe, "-cleanupinstall \"" + target + "\""));
    ASSERT_TRUE(cleanup.WaitForExit(10000));
    EXPECT_FALSE(Exists(target));
}
