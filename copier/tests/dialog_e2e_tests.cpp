// Kopiwa.exe's dialog driven through its windows: validation of the scale,
// closing with and without reading, About, Help, printer setup.
#include <gtest/gtest.h>

#include <fstream>

#include "copier_texts.h"
#include "kopiwa_driver.h"

using namespace kopiwa;

namespace {

class Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteCopierKeys();
        ASSERT_TRUE(copier.Start());
    }
    void TearDown() override {
        if (copier.Process().Running()) copier.Process().Kill();
        DeleteCopierKeys();
    }
    // Presses a button, expects one message box with `text`, answers it.
    void ExpectMessage(int button, const char* text) {
        copier.Click(button);
        HWND box = WaitForMessageBox(copier.Id());
        ASSERT_NE(box, nullptr) << text;
        EXPECT_EQ(wintest::MessageBoxText(box), text);
        EXPECT_EQ(wintest::WindowText(box), "Kopiwa");
        ASSERT_TRUE(AnswerMessageBox(box));
    }
    DWORD Selection() const {
        return static_cast<DWORD>(SendMessageA(GetDlgItem(copier.Dialog(), 1005), EM_GETSEL, 0, 0));
    }
    LONG Stored(const char* name) const {
        LONG value = 0x7EADBEEF;
        ReadDword(kStatusKey, name, &value);
        return value;
    }

    Copier copier;
};

HWND WaitForAbout(DWORD processId) {
    return wintest::WaitForTopWindow(texts::kAboutTitle, processId, 10000);
}

}  // namespace

TEST_F(Dialog, CopyAsksForAnIntegerAndLeavesTheEditSelected) {
    copier.SetText(1005, "");
    ExpectMessage(1001, texts::kNotAnInteger);
    EXPECT_EQ(copier.Focus(), GetDlgItem(copier.Dialog(), 1005));
    for (const char* scale : {"24", "401"}) {
        copier.SetText(1005, scale);
        ExpectMessage(1001, texts::kScaleRange);
        EXPECT_EQ(copier.Focus(), GetDlgItem(copier.Dialog(), 1005)) << scale;
        EXPECT_EQ(Selection(), static_cast<DWORD>(MAKELONG(0, lstrlenA(scale)))) << scale;
    }
    EXPECT_TRUE(IsWindowEnabled(copier.Dialog()));
    // The status line is set by the half-second tick, which may not have come yet.
    EXPECT_TRUE(PumpUntil([&] { return copier.Text(1024) == texts::kReady; }, 5000)) << "nothing started";
}

// Refusals one after the other, each answered at once, then a good scale:
// the field holds what was typed and Exit takes it.
TEST_F(Dialog, CopyAsksAfterEachRefusalAndThenTakesANewScale) {
    copier.SetText(1005, "24");
    ExpectMessage(1001, texts::kScaleRange);
    copier.SetText(1005, "");
    ExpectMessage(1001, texts::kNotAnInteger);
    copier.SetText(1005, "150");
    EXPECT_EQ(copier.Text(1005), "150");
    ASSERT_TRUE(copier.Exit());
    EXPECT_EQ(Stored("Scale"), 150);
}

TEST_F(Dialog, ExitRefusesToCloseWhileTheScaleIsInvalid) {
    copier.SetText(1005, "24");
    ExpectMessage(IDOK, texts::kScaleRange);
    EXPECT_TRUE(copier.Process().Running());
    EXPECT_TRUE(IsWindowVisible(copier.Dialog()));
    copier.SetText(1005, "150");
    copier.Click(1032);
    ASSERT_TRUE(copier.Exit());
    EXPECT_EQ(Stored("Scale"), 150) << "Exit reads the controls";
    EXPECT_EQ(Stored("ColorSelect"), 1);
}

TEST_F(Dialog, EscapeClosesWithoutReadingTheControls) {
    copier.SetText(1005, "300");
    copier.Click(1009);
    copier.Click(1014);
    ASSERT_TRUE(wintest::WaitUntil([&] { return copier.Checked(1014); }, 5000));
    PostMessageA(GetDlgItem(copier.Dialog(), 1005), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ASSERT_TRUE(copier.WaitForExit());
    EXPECT_EQ(Stored("Scale"), 100);
    EXPECT_EQ(Stored("ColorSelect"), 2);
    EXPECT_EQ(Stored("SpeedSelect"), 1);
}

TEST_F(Dialog, TheCloseBoxClosesWithoutReadingAndEnterReads) {
    copier.SetText(1005, "300");
    PostMessageA(copier.Dialog(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(copier.WaitForExit());
    EXPECT_EQ(Stored("Scale"), 100);

    Copier again;
    ASSERT_TRUE(again.Start());
    again.SetText(1005, "300");
    // Enter in the edit: no default push button, so it is the OK command.
    PostMessageA(GetDlgItem(again.Dialog(), 1005), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ASSERT_TRUE(again.WaitForExit());
    EXPECT_EQ(Stored("Scale"), 300);
}

TEST_F(Dialog, AboutOpensFromTheButtonAndFromTheSystemMenu) {
    copier.Click(1023);
    HWND about = WaitForAbout(copier.Id());
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), copier.Dialog());
    EXPECT_FALSE(IsWindowEnabled(copier.Dialog())) << "modal";
    const POINT aboutCentre = Centre(WindowRect(about));
    const POINT dialogCentre = Centre(WindowRect(copier.Dialog()));
    EXPECT_NEAR(aboutCentre.x, dialogCentre.x, 1) << "centred over its owner";
    EXPECT_NEAR(aboutCentre.y, dialogCentre.y, 1);
    EXPECT_NE(SendMessageA(GetDlgItem(about, 1029), STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "the picture";
    Sleep(300);
    wintest::Screenshot("about_box", about);
    wintest::PostClick(about, IDOK);
    ASSERT_TRUE(wintest::WaitForWindowGone(about));
    EXPECT_TRUE(IsWindowEnabled(copier.Dialog()));

    // The system menu's item; its low four bits do not count.
    for (WPARAM command : {WPARAM(0x0010), WPARAM(0x0013)}) {
        PostMessageA(copier.Dialog(), WM_SYSCOMMAND, command, 0);
        about = WaitForAbout(copier.Id());
        ASSERT_NE(about, nullptr) << command;
        PostMessageA(about, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        ASSERT_TRUE(wintest::WaitForWindowGone(about)) << command;
    }
    EXPECT_TRUE(copier.Exit());
}

// Help on each kind of Windows: WinHelp where it has its viewer, compiled HTML
// Help from Windows 6.0 on, which has none. Each Windows gets the same topics.
struct HelpRoute {
    const char* windows;
    bool html;
    const char* extension;
    UINT contents, context, quit;  // the engine's commands
};
const HelpRoute kHelpRoutes[] = {
    {"win98", false, ".HLP", HELP_FINDER, HELP_CONTEXT, HELP_QUIT},
    {"nt40", false, ".HLP", HELP_FINDER, HELP_CONTEXT, HELP_QUIT},
    // HH_DISPLAY_TOC, HH_HELP_CONTEXT, HH_CLOSE_ALL
    {"win10", true, ".CHM", 0x0001, 0x000F, 0x0012},
};

void ExpectHelpRequest(const wintest::HelpRequest& request, const HelpRoute& route, UINT command, DWORD data,
                       const std::string& file) {
    EXPECT_EQ(request.html, route.html) << route.windows;
    EXPECT_EQ(request.command, command) << route.windows;
    EXPECT_EQ(request.data, data) << route.windows;
    EXPECT_EQ(request.file, file) << route.windows;
}

TEST_F(Dialog, HelpOpensTheContentsOfTheFileBesideTheProgram) {
    copier.Process().Kill();
    // A copy in a folder and under a name whose 表 carries a 0x5C byte.
    const std::string folder = "C:\\コピー表";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string program = folder + "\\表.exe";
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(wintest::FakeHelpEngine::InstallFakeHtmlHelp("表.exe"));

    wintest::FakeHelpEngine help;
    for (const HelpRoute& route : kHelpRoutes) {
        help.requests.clear();
        ASSERT_TRUE(wintest::SetReportedWindowsVersion("表.exe", route.windows));
        const std::string file = folder + "\\表" + route.extension;
        Copier renamed;
        ASSERT_TRUE(renamed.Start(program));
        renamed.Click(1030);
        ASSERT_TRUE(PumpUntil([&] { return !help.requests.empty(); }, 10000)) << route.windows;
        ExpectHelpRequest(help.requests[0], route, route.contents, 0, file);

        // F1 (what the system makes of the key in the focused control): the
        // context help of the dialog, template 102; in the About box, its own.
        const UINT WM_KEYF1 = 0x004D;
        PostMessageA(GetDlgItem(renamed.Dialog(), 1005), WM_KEYF1, 0, 0);
        ASSERT_TRUE(PumpUntil([&] { return help.requests.size() >= 2; }, 10000)) << route.windows;
        ExpectHelpRequest(help.requests[1], route, route.context, 0x20066, file);
        renamed.Click(1023);
        HWND about = WaitForAbout(renamed.Id());
        ASSERT_NE(about, nullptr) << route.windows;
        PostMessageA(GetDlgItem(about, IDOK), WM_KEYF1, 0, 0);
        ASSERT_TRUE(PumpUntil([&] { return help.requests.size() >= 3; }, 10000)) << route.windows;
        ExpectHelpRequest(help.requests[2], route, route.context, 0x20064, file);
        wintest::PostClick(about, IDOK);
        ASSERT_TRUE(wintest::WaitForWindowGone(about));

        ASSERT_TRUE(renamed.Exit());
        PumpUntil([&] { return help.requests.size() >= 4; }, 2000);
        ASSERT_EQ(help.requests.size(), 4u) << route.windows;
        // Closed with the dialog; HTML Help closes all its windows, named none.
        ExpectHelpRequest(help.requests[3], route, route.quit, 0, route.html ? "" : file);
    }
}

TEST_F(Dialog, ARefusedHelpCallIsReported) {
    copier.Process().Kill();
    ASSERT_TRUE(wintest::FakeHelpEngine::InstallFakeHtmlHelp("Kopiwa.exe"));
    wintest::FakeHelpEngine help;
    help.accept = false;
    for (const char* windows : {"win98", "win10"}) {
        help.requests.clear();
        ASSERT_TRUE(wintest::SetReportedWindowsVersion("Kopiwa.exe", windows));
        Copier refused;
        ASSERT_TRUE(refused.Start());
        refused.Click(1030);
        HWND box = WaitForMessageBox(refused.Id());
        ASSERT_NE(box, nullptr) << windows;
        EXPECT_EQ(wintest::MessageBoxText(box), texts::kHelpFailed);
        EXPECT_EQ(wintest::WindowText(box), "Kopiwa");
        ASSERT_TRUE(AnswerMessageBox(box));
        EXPECT_EQ(help.requests.size(), 1u) << windows;
        EXPECT_TRUE(refused.Exit());
    }
}

TEST_F(Dialog, WithoutAHelpEngineTheHelpViewerIsStarted) {
    copier.Process().Kill();
    ASSERT_TRUE(wintest::SetReportedWindowsVersion("Kopiwa.exe", "win98"));
    Copier old;
    ASSERT_TRUE(old.Start());
    old.Click(1030);
    // Wine's viewer comes up (and then complains that the file is missing).
    EXPECT_TRUE(wintest::WaitUntil([] { return FindWindowA("MS_WINHELP", nullptr) != nullptr; }, 20000));
    EXPECT_EQ(WaitForMessageBox(old.Id(), 1000), nullptr) << "the call itself succeeded";
}

// The print setup dialog on the PDF printer: landscape, then OK. The
// selection is kept by the program and written when it ends.
TEST_F(Dialog, PrinterSetupChangesThePrinterSelection) {
    copier.Click(1008);
    HWND setup = nullptr;
    ASSERT_TRUE(wintest::WaitUntil(
        [&] {
            for (HWND window : wintest::TopWindowsOf(copier.Id()))
                if (window != copier.Dialog() && IsWindowVisible(window) && GetDlgItem(window, 0x421)) {
                    setup = window;
                    return true;
                }
            return false;
        },
        15000));
    EXPECT_EQ(GetWindow(setup, GW_OWNER), copier.Dialog());
    wintest::PostClick(setup, 0x421);  // landscape
    ASSERT_TRUE(wintest::WaitUntil(
        [&] { return SendMessageA(GetDlgItem(setup, 0x421), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000));
    wintest::PostClick(setup, IDOK);
    ASSERT_TRUE(wintest::WaitForWindowGone(setup));
    EXPECT_FALSE(ValueExists(kPrinterKey, "DevMode")) << "nothing is written before the end";
    ASSERT_TRUE(copier.Exit());

    std::vector<BYTE> devMode;
    ASSERT_TRUE(ReadBinary(kPrinterKey, "DevMode", &devMode));
    ASSERT_GE(devMode.size(), 68u);
    EXPECT_EQ(reinterpret_cast<const DEVMODEA*>(devMode.data())->dmOrientation, DMORIENT_LANDSCAPE);
    std::vector<BYTE> devNames;
    ASSERT_TRUE(ReadBinary(kPrinterKey, "DevNames", &devNames));
    const auto* names = reinterpret_cast<const DEVNAMES*>(devNames.data());
    EXPECT_STREQ(reinterpret_cast<const char*>(devNames.data()) + names->wDeviceOffset, wintest::TestPrinter().c_str());
}

