// The copy dialog inside the test program: status line and buttons, the
// image hand-off, Copy's validation and its way without scanner software,
// the system menu and what the dialog saves.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "copier_texts.h"
#include "copy_dialog.h"
#include "kopiwa_driver.h"
#include "print_job.h"
#include "test_app.h"
#include "wintest.h"

using wintest::ControlText;
using wintest::MessageBoxCatcher;
using wintest::WaitUntil;

namespace {

const int kIdleOnlyButtons[] = {IDC_COPY, IDC_PRINTER_SETUP, IDC_SELECT_SCANNER, IDOK, IDC_RECOPY};
const int kAlwaysEnabled[] = {IDC_HELP_BUTTON, IDC_ABOUT, IDC_COLOR, IDC_GRAY, IDC_TEXT, IDC_SPEED_FASTEST,
                              IDC_SPEED_FAST, IDC_SPEED_NORMAL, IDC_UI_AUTO, IDC_UI_MANUAL, IDC_SCALE,
                              IDC_SCALE_SPIN};

// A small packed DIB, as the scanner hands one over.
HGLOBAL NewImage() {
    const int width = 8, height = 4;
    const size_t bits = static_cast<size_t>(((width * 3 + 3) & ~3) * height);
    HGLOBAL image = GlobalAlloc(GHND, sizeof(BITMAPINFOHEADER) + bits);
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(image));
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    GlobalUnlock(image);
    return image;
}

// Stands in for the spooler's calls: each call is recorded, the one named
// `failing` answers `failure`, every other goes to the real spooler.
struct SpoolerScript {
    std::string failing;
    int failure = 0;
    bool cancelled = false;  // the failing call meets a Cancel pressed before it
    std::vector<std::string> calls;
};
SpoolerScript* g_script = nullptr;
const SpoolerCalls g_realSpooler = {StartDocA, StartPage, EndPage, EndDoc, AbortDoc};

// The stand-ins for as long as it lives.
struct ScriptedSpooler {
    ScriptedSpooler();
    ~ScriptedSpooler() {
        g_spooler = g_realSpooler;
        g_script = nullptr;
    }
};

int Scripted(const char* name, int real) {
    g_script->calls.push_back(name);
    if (g_script->failing != name) return real;
    if (g_script->cancelled) g_bUserAbort = TRUE;
    return g_script->failure;
}
int WINAPI ScriptedStartDoc(HDC dc, const DOCINFOA* doc) {
    if (g_script->failing == "StartDoc") return Scripted("StartDoc", 0);
    return Scripted("StartDoc", g_realSpooler.startDoc(dc, doc));
}
int WINAPI ScriptedStartPage(HDC dc) {
    if (g_script->failing == "StartPage") return Scripted("StartPage", 0);
    return Scripted("StartPage", g_realSpooler.startPage(dc));
}
int WINAPI ScriptedEndPage(HDC dc) {
    if (g_script->failing == "EndPage") return Scripted("EndPage", 0);
    return Scripted("EndPage", g_realSpooler.endPage(dc));
}
int WINAPI ScriptedEndDoc(HDC dc) {
    if (g_script->failing == "EndDoc") return Scripted("EndDoc", 0);
    return Scripted("EndDoc", g_realSpooler.endDoc(dc));
}
int WINAPI ScriptedAbortDoc(HDC dc) { return Scripted("AbortDoc", g_realSpooler.abortDoc(dc)); }
ScriptedSpooler::ScriptedSpooler() {
    g_spooler = {ScriptedStartDoc, ScriptedStartPage, ScriptedEndPage, ScriptedEndDoc, ScriptedAbortDoc};
}

// The copy dialog, made modeless for the test and made the main window.
class CopyDialog : public ::testing::Test {
protected:
    void SetUp() override {
        kopiwa::DeleteCopierKeys();
        App().m_pMainWnd = &dialog;
        ASSERT_TRUE(dialog.Create());
    }
    void TearDown() override {
        dialog.DestroyWindow();
        App().m_pMainWnd = nullptr;
        App().SelectPrinter(nullptr, nullptr);
        kopiwa::DeleteCopierKeys();
    }
    bool Enabled(int id) const { return IsWindowEnabled(dialog.GetDlgItem(id)) != FALSE; }
    std::string Status() const { return ControlText(dialog.m_hWnd, IDC_STATUS); }
    void SetScale(const char* text) const { SetDlgItemTextA(dialog.m_hWnd, IDC_SCALE, text); }
    void Command(int id) const { SendMessageA(dialog.m_hWnd, WM_COMMAND, id, 0); }
    bool WaitForStatus(const char* text, DWORD timeoutMs = 3000) {
        return WaitUntil([&] { return Status() == text; }, timeoutMs);
    }

    CCopyDialog dialog;
};

}  // namespace

TEST_F(CopyDialog, TheStatusLineStaysEmptyUntilTheFirstTick) {
    EXPECT_EQ(dialog.m_nStatus, StatusNone);
    EXPECT_EQ(Status(), "");
    for (int id : {IDC_COPY, IDC_PRINTER_SETUP, IDC_SELECT_SCANNER, IDOK}) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(IDC_RECOPY)) << "no image yet";
    ASSERT_TRUE(WaitForStatus(texts::kReady));
    EXPECT_EQ(dialog.m_nStatus, StatusReady);
}

TEST_F(CopyDialog, TheButtonsFollowTheStatus) {
    dialog.m_bPrinting = TRUE;
    dialog.UpdateStatus();
    EXPECT_EQ(dialog.m_nStatus, StatusPrinting);
    EXPECT_EQ(Status(), texts::kPrinting);
    for (int id : kIdleOnlyButtons) EXPECT_FALSE(Enabled(id)) << id;
    for (int id : kAlwaysEnabled) EXPECT_TRUE(Enabled(id)) << id;

    dialog.m_bPrinting = FALSE;
    dialog.UpdateStatus();
    EXPECT_EQ(Status(), texts::kReady);
    for (int id : {IDC_COPY, IDC_PRINTER_SETUP, IDC_SELECT_SCANNER, IDOK}) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(IDC_RECOPY)) << "ready, but no image";

    dialog.m_nStatus = StatusScanning;
    dialog.ShowStatusText();
    dialog.EnableControlsForStatus();
    EXPECT_EQ(Status(), texts::kScanning);
    for (int id : kIdleOnlyButtons) EXPECT_FALSE(Enabled(id)) << id;

    dialog.m_hImage.Reset(NewImage());
    dialog.m_nStatus = StatusReady;
    dialog.EnableControlsForStatus();
    EXPECT_TRUE(Enabled(IDC_RECOPY)) << "ready with an image";
}

TEST_F(CopyDialog, TheLineAndButtonsChangeOnlyWithTheStatus) {
    dialog.UpdateStatus();
    ASSERT_EQ(dialog.m_nStatus, StatusReady);
    SetDlgItemTextA(dialog.m_hWnd, IDC_STATUS, "untouched");
    EnableWindow(dialog.GetDlgItem(IDC_COPY), FALSE);
    dialog.UpdateStatus();
    EXPECT_EQ(Status(), "untouched");
    EXPECT_FALSE(Enabled(IDC_COPY));
}

TEST_F(CopyDialog, AnImageFromTheScannerIsKeptAndMakesReCopyAvailable) {
    SendMessageA(dialog.m_hWnd, WM_USER, 0, 0);
    EXPECT_FALSE(dialog.m_hImage) << "a transfer without an image changes nothing";
    EXPECT_FALSE(Enabled(IDC_RECOPY));

    HGLOBAL first = NewImage();
    EXPECT_EQ(SendMessageA(dialog.m_hWnd, WM_USER, reinterpret_cast<WPARAM>(first), 0), 0);
    EXPECT_EQ(dialog.m_hImage.Get(), first);
    EXPECT_TRUE(Enabled(IDC_RECOPY));

    HGLOBAL second = NewImage();
    SendMessageA(dialog.m_hWnd, WM_USER, reinterpret_cast<WPARAM>(second), 0);
    EXPECT_EQ(dialog.m_hImage.Get(), second);
    EXPECT_EQ(GlobalSize(first), 0u) << "the older image is freed";

    SendMessageA(dialog.m_hWnd, WM_USER, 0, 0);
    EXPECT_EQ(dialog.m_hImage.Get(), second) << "kept";
    EXPECT_TRUE(Enabled(IDC_RECOPY));
}

TEST_F(CopyDialog, CopyRefusesABadScaleAndKeepsTheRefusedNumber) {
    dialog.m_nColorSelect = 2;
    SendMessageA(dialog.GetDlgItem(IDC_COLOR), BM_CLICK, 0, 0);
    struct Case {
        const char* text;
        const char* message;
        int scaleAfter;
    } cases[] = {{"", texts::kNotAnInteger, 100},
                 {"24", texts::kScaleRange, 24},
                 {"401", texts::kScaleRange, 401},
                 {"0", texts::kScaleRange, 0}};
    for (const Case& c : cases) {
        dialog.m_nScale = 100;
        SetScale(c.text);
        MessageBoxCatcher boxes;
        Command(IDC_COPY);
        ASSERT_EQ(boxes.Boxes().size(), 1u) << c.text;
        EXPECT_EQ(boxes.Boxes()[0].text, c.message) << c.text;
        EXPECT_EQ(boxes.Boxes()[0].caption, App().m_pszAppName);
        EXPECT_EQ(boxes.Boxes()[0].icon, LoadIconA(nullptr, IDI_EXCLAMATION));
        // Re-copy would print at this number: Copy left it in the field.
        EXPECT_EQ(dialog.m_nScale, c.scaleAfter) << c.text;
        EXPECT_EQ(dialog.m_nColorSelect, 2) << "the scan choices were not read";
        EXPECT_NE(dialog.m_nStatus, StatusScanning) << "nothing started";
    }
}

TEST_F(CopyDialog, CopyWithoutScannerSoftwareShowsScanningThenReady) {
    ASSERT_TRUE(WaitForStatus(texts::kReady));
    SetScale("150");
    SendMessageA(dialog.GetDlgItem(IDC_GRAY), BM_CLICK, 0, 0);
    MessageBoxCatcher boxes;
    Command(IDC_COPY);
    EXPECT_EQ(dialog.m_nScale, 150);
    EXPECT_EQ(dialog.m_nColorSelect, 1);
    EXPECT_EQ(dialog.m_nStatus, StatusScanning);
    EXPECT_EQ(Status(), texts::kScanning);
    EXPECT_FALSE(Enabled(IDC_COPY));
    EXPECT_TRUE(WaitForStatus(texts::kReady, 1500)) << "the next tick finds nothing scanning";
    EXPECT_TRUE(Enabled(IDC_COPY));
    EXPECT_TRUE(boxes.Boxes().empty()) << "no message";
}

TEST_F(CopyDialog, TheSystemMenuOffersAboutAndNoMaximizeOrSize) {
    HMENU menu = GetSystemMenu(dialog.m_hWnd, FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(ID_SYSMENU_ABOUT));
    EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
    char text[128] = "";
    GetMenuStringA(menu, ID_SYSMENU_ABOUT, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, texts::kAboutMenu);
    EXPECT_TRUE(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND) & MF_GRAYED);
}

// The icon answered for dragging a minimised dialog is the program's own,
// the one in its title bar.
TEST_F(CopyDialog, AnswersItsIconForDragging) {
    const HICON icon = reinterpret_cast<HICON>(SendMessageA(dialog.m_hWnd, WM_QUERYDRAGICON, 0, 0));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon, dialog.m_hIcon);
    EXPECT_EQ(icon, reinterpret_cast<HICON>(SendMessageA(dialog.m_hWnd, WM_GETICON, ICON_BIG, 0)));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, GetSystemMetrics(SM_CXICON)) << "the icon of the system's size";
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
}

TEST_F(CopyDialog, TheScaleRangeIsSetOnTheUpDownControl) {
    const LRESULT range = SendMessageA(dialog.GetDlgItem(IDC_SCALE_SPIN), UDM_GETRANGE, 0, 0);
    EXPECT_EQ(LOWORD(range), 400);
    EXPECT_EQ(HIWORD(range), 25);
    EXPECT_EQ(ControlText(dialog.m_hWnd, IDC_SCALE), "100") << "the field, not the control's position";
}

TEST_F(CopyDialog, MovesAreRecordedButNotWhileMinimised) {
    SetWindowPos(dialog.m_hWnd, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(dialog.m_nXPos, 50);
    EXPECT_EQ(dialog.m_nYPos, 60);
    ShowWindow(dialog.m_hWnd, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(dialog.m_hWnd));
    EXPECT_EQ(dialog.m_nXPos, 50);
    EXPECT_EQ(dialog.m_nYPos, 60);
}

// Every stored position is kept, the template's own corner included; only a
// missing coordinate lets the dialog be centred.
TEST_F(CopyDialog, AStoredPositionIsKeptEvenAtTheTemplatesCorner) {
    struct Case {
        int x, y;
        bool centred;
    } cases[] = {{0, 0, false}, {0, 40, false}, {-1, 0, true}, {30, 0, false}};
    const RECT area = kopiwa::WorkArea();
    for (const Case& c : cases) {
        CCopyDialog placed;
        placed.m_nXPos = c.x;
        placed.m_nYPos = c.y;
        ASSERT_TRUE(placed.Create());
        const RECT shown = kopiwa::WindowRect(placed.m_hWnd);
        if (c.centred) {
            EXPECT_NEAR((shown.left + shown.right) / 2, (area.left + area.right) / 2, 1) << c.x << "," << c.y;
        } else {
            EXPECT_EQ(shown.left, c.x);
            EXPECT_EQ(shown.top, c.y);
        }
        EXPECT_EQ(placed.m_nXPos, shown.left) << "recorded where it is";
        EXPECT_EQ(placed.m_nYPos, shown.top);
        placed.DestroyWindow();
    }
}

TEST_F(CopyDialog, SessionEndSavesWhatTheControlsHoldEvenWhenRefused) {
    SetScale("300");
    SendMessageA(dialog.GetDlgItem(IDC_COLOR), BM_CLICK, 0, 0);
    SendMessageA(dialog.m_hWnd, WM_ENDSESSION, TRUE, 0);
    LONG value = 0;
    ASSERT_TRUE(kopiwa::ReadDword(kopiwa::kStatusKey, "Scale", &value));
    EXPECT_EQ(value, 300);
    ASSERT_TRUE(kopiwa::ReadDword(kopiwa::kStatusKey, "ColorSelect", &value));
    EXPECT_EQ(value, 0);

    SetScale("24");
    MessageBoxCatcher boxes;
    SendMessageA(dialog.m_hWnd, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    ASSERT_TRUE(kopiwa::ReadDword(kopiwa::kStatusKey, "Scale", &value));
    EXPECT_EQ(value, 24) << "saved as read, refusal or not";
}

TEST_F(CopyDialog, ClosingSavesTheFieldsNotTheControls) {
    SetScale("300");
    SendMessageA(dialog.GetDlgItem(IDC_COLOR), BM_CLICK, 0, 0);
    dialog.DestroyWindow();
    LONG value = 0;
    ASSERT_TRUE(kopiwa::ReadDword(kopiwa::kStatusKey, "Scale", &value));
    EXPECT_EQ(value, 100);
    ASSERT_TRUE(kopiwa::ReadDword(kopiwa::kStatusKey, "ColorSelect", &value));
    EXPECT_EQ(value, 2);
    EXPECT_EQ(dialog.m_pSession, nullptr) << "the session goes with the window";
}

// Every way a job can fail ends the document (no half job is left with the
// spooler), reports FALSE, and shows the message of its kind; a scale that
// leaves nothing to draw is a drawing failure, not a blank sheet.
TEST_F(CopyDialog, EveryFailureOfAPrintJobAbortsItAndSaysSo) {
    struct Case {
        const char* failing;
        int failure;
        int scale;
        const char* message;  // nullptr: none
        std::vector<std::string> calls;
        bool cancelled = false;
    } cases[] = {
        {"", 0, 100, nullptr, {"StartDoc", "StartPage", "EndPage", "EndDoc"}},
        {"StartDoc", 0, 100, texts::kPrintNotStarted, {"StartDoc"}},
        {"StartDoc", SP_ERROR, 100, texts::kPrintNotStarted, {"StartDoc"}},
        {"StartDoc", SP_OUTOFDISK, 100, texts::kPrintNotStarted, {"StartDoc"}},
        {"StartPage", 0, 100, nullptr, {"StartDoc", "StartPage", "AbortDoc"}},
        {"StartPage", SP_ERROR, 100, nullptr, {"StartDoc", "StartPage", "AbortDoc"}},
        {"EndPage", 0, 100, nullptr, {"StartDoc", "StartPage", "EndPage", "AbortDoc"}},
        {"EndDoc", 0, 100, texts::kPrintNotStarted, {"StartDoc", "StartPage", "EndPage", "EndDoc", "AbortDoc"}},
        {"EndDoc", SP_ERROR, 100, texts::kPrintNotStarted,
         {"StartDoc", "StartPage", "EndPage", "EndDoc", "AbortDoc"}},
        // The user's Cancel is no failure to report, whichever call meets it.
        {"StartDoc", 0, 100, nullptr, {"StartDoc"}, true},
        {"EndDoc", SP_USERABORT, 100, nullptr, {"StartDoc", "StartPage", "EndPage", "EndDoc", "AbortDoc"}, true},
        {"", 0, 0, texts::kPrintNoMemory, {"StartDoc", "StartPage", "AbortDoc"}},
        {"", 0, -50, texts::kPrintNoMemory, {"StartDoc", "StartPage", "AbortDoc"}},
    };
    dialog.m_hImage.Reset(NewImage());
    ScriptedSpooler scripted;
    for (const Case& c : cases) {
        const std::string name = std::string(c.failing) + " " + std::to_string(c.failure) + " at " +
                                 std::to_string(c.scale) + " %";
        SpoolerScript script{c.failing, c.failure, c.cancelled, {}};
        g_script = &script;
        dialog.m_nScale = c.scale;
        MessageBoxCatcher boxes;
        const BOOL printed = dialog.PrintImage(1);
        EXPECT_EQ(printed, c.message == nullptr && !*c.failing) << name;
        EXPECT_EQ(script.calls, c.calls) << name;
        EXPECT_EQ(boxes.Boxes().size(), c.message ? 1u : 0u) << name;
        if (c.message && !boxes.Boxes().empty()) {
            EXPECT_EQ(boxes.Boxes()[0].text, c.message) << name;
        }
        EXPECT_FALSE(dialog.m_bPrinting) << name;
        EXPECT_TRUE(IsWindowEnabled(dialog.m_hWnd)) << name;
    }
}
