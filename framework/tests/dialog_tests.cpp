// Dialogs of the framework: the modal loop and its pre-translation, the
// one-message pump, centring, data exchange with validation, context help.
#include <gtest/gtest.h>

#include <functional>

#include "kfw/dialog.h"
#include "dialogs.h"
#include "kfw/gdi.h"
#include "test_app.h"
#include "test_resource.h"
#include "wintest.h"

using wintest::CallSoon;
using wintest::MessageBoxCatcher;

namespace {

const UINT WM_CONSUMED = WM_APP + 1;
const UINT WM_PASSED = WM_APP + 2;

// A dialog whose initialisation and extra messages the tests script.
class ScriptedDialog : public CDialog {
public:
    explicit ScriptedDialog(UINT id, CWnd* parent = nullptr) : CDialog(id, parent) {}

    std::function<void(ScriptedDialog&)> onInit;
    int number = 0;
    int first = 0;
    int second = 0;
    int consumedSeen = 0;
    int passedSeen = 0;

    using CDialog::EndDialog;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit) onInit(*this);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* exchange) override {
        if (GetTemplateId() != IDD_FORM) return;
        DDX_Text(exchange, IDC_NUMBER, number);
        DDV_MinMaxInt(exchange, number, 25, 400);
        DDX_Radio(exchange, IDC_FIRST_A, first);
        DDX_Radio(exchange, IDC_SECOND_A, second);
    }

    BEGIN_MSG_MAP(ScriptedDialog)
        ON_MESSAGE(WM_CONSUMED, OnConsumed)
        ON_MESSAGE(WM_PASSED, OnPassed)
    END_MSG_MAP(CDialog)

private:
    LRESULT OnConsumed(WPARAM, LPARAM) {
        ++consumedSeen;
        return 0;
    }
    LRESULT OnPassed(WPARAM, LPARAM) {
        ++passedSeen;
        EndDialog(IDOK);
        return 0;
    }
};

bool Checked(const CWnd& dialog, int id) {
    return SendMessageA(dialog.GetDlgItem(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetText(const CWnd& dialog, int id, const char* text) { SetWindowTextA(dialog.GetDlgItem(id), text); }

using wintest::WindowRect;
using wintest::WorkArea;

// What the system tells the centring about its screens, faked: whether
// USER32 has the monitor functions (Windows 98 and 2000 on) and the area of
// the one monitor they know, and SPI_GETWORKAREA's area (null: it fails).
struct FakeScreens {
    bool monitors = false;
    RECT monitorArea{};
    const RECT* workArea = nullptr;
    HWND monitorAskedFor = nullptr;
} g_screens;
void* g_realGetProcAddress = nullptr;

HMONITOR WINAPI FakeMonitorFromWindow(HWND window, DWORD) {
    g_screens.monitorAskedFor = window;
    return reinterpret_cast<HMONITOR>(&g_screens);
}

BOOL WINAPI FakeGetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info) {
    info->rcMonitor = info->rcWork = g_screens.monitorArea;
    return monitor == reinterpret_cast<HMONITOR>(&g_screens);
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
    const auto real = reinterpret_cast<decltype(&FakeGetProcAddress)>(g_realGetProcAddress);
    if (IS_INTRESOURCE(name)) return real(module, name);
    void* fake = lstrcmpA(name, "MonitorFromWindow") == 0 ? reinterpret_cast<void*>(&FakeMonitorFromWindow)
                 : lstrcmpA(name, "GetMonitorInfoA") == 0 ? reinterpret_cast<void*>(&FakeGetMonitorInfoA)
                                                         : nullptr;
    if (!fake) return real(module, name);
    return g_screens.monitors ? reinterpret_cast<FARPROC>(fake) : nullptr;
}

BOOL WINAPI FakeSystemParametersInfoA(UINT action, UINT, PVOID data, UINT) {
    if (action != SPI_GETWORKAREA || !g_screens.workArea) return FALSE;
    *static_cast<RECT*>(data) = *g_screens.workArea;
    return TRUE;
}

// A modeless form, shown and made the main window for one test.
class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(form.Create());
        ShowWindow(form.m_hWnd, SW_SHOW);
        App().m_pMainWnd = &form;
    }
    void TearDown() override { App().m_pMainWnd = nullptr; }
    ScriptedDialog form{IDD_FORM};
};

}  // namespace

TEST(ModalLoop, EveryMessagePassesTheApplicationsPreTranslationFirst) {
    int consumed = 0;
    App().consume = [&](MSG* message) {
        if (message->message != WM_CONSUMED) return FALSE;
        ++consumed;
        return TRUE;
    };
    ScriptedDialog dialog(IDD_PLAIN);
    dialog.onInit = [](ScriptedDialog& d) {
        PostMessageA(d.m_hWnd, WM_CONSUMED, 0, 0);
        PostMessageA(d.m_hWnd, WM_PASSED, 0, 0);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    App().consume = nullptr;
    EXPECT_EQ(consumed, 1);
    EXPECT_EQ(dialog.consumedSeen, 0) << "a consumed message is not dispatched";
    EXPECT_EQ(dialog.passedSeen, 1);
}

TEST(ModalLoop, DialogKeysWorkThroughThePreTranslation) {
    ScriptedDialog dialog(IDD_PLAIN);
    dialog.onInit = [](ScriptedDialog& d) {
        PostMessageA(d.GetDlgItem(IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST(ModalLoop, AQuitEndsTheLoopAndIsPassedOn) {
    ScriptedDialog dialog(IDD_PLAIN);
    dialog.onInit = [](ScriptedDialog&) { PostQuitMessage(3); };
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.m_hWnd, nullptr) << "the window is gone";
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 3u);
}

TEST(ModalLoop, TheOwnerIsDisabledWhileTheDialogRuns) {
    ScriptedDialog owner(IDD_PLAIN);
    ASSERT_TRUE(owner.Create());
    ShowWindow(owner.m_hWnd, SW_SHOW);
    ScriptedDialog dialog(IDD_FORM, &owner);
    BOOL ownerEnabledDuring = TRUE;
    HWND ownerOfDialog = nullptr;
    dialog.onInit = [&](ScriptedDialog& d) {
        ownerEnabledDuring = IsWindowEnabled(owner.m_hWnd);
        ownerOfDialog = GetWindow(d.m_hWnd, GW_OWNER);
        d.EndDialog(IDCANCEL);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_FALSE(ownerEnabledDuring);
    EXPECT_EQ(ownerOfDialog, owner.m_hWnd);
    EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd));
}

TEST(PumpMessage, PreTranslatesDispatchesAndReportsAQuit) {
    ScriptedDialog dialog(IDD_PLAIN);
    ASSERT_TRUE(dialog.Create());
    int seen = 0;
    App().consume = [&](MSG* message) {
        if (message->message == WM_CONSUMED) ++seen;
        return FALSE;
    };
    PostMessageA(dialog.m_hWnd, WM_CONSUMED, 0, 0);
    EXPECT_TRUE(AfxPumpMessage());
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(dialog.consumedSeen, 1) << "dispatched after the pre-translation";
    App().consume = nullptr;

    PostQuitMessage(5);
    EXPECT_FALSE(AfxPumpMessage());
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "posted again";
    EXPECT_EQ(message.wParam, 5u);
}

// Runs `dialog` modally and answers where it stood once shown; `onInit` may
// move it first.
static RECT RectWhenShown(ScriptedDialog& dialog, void (*onInit)(HWND) = nullptr) {
    RECT shown{};
    dialog.onInit = [&](ScriptedDialog& d) {
        if (onInit) onInit(d.m_hWnd);
        CallSoon([&] {
            shown = WindowRect(d.m_hWnd);
            d.EndDialog(IDOK);
        });
    };
    dialog.DoModal();
    return shown;
}

TEST(Centring, AnUnmovedDialogIsCentredOnTheScreen) {
    ScriptedDialog dialog(IDD_PLAIN);
    const RECT shown = RectWhenShown(dialog);
    const RECT area = WorkArea();
    EXPECT_NEAR((shown.left + shown.right) / 2, (area.left + area.right) / 2, 1);
    EXPECT_NEAR((shown.top + shown.bottom) / 2, (area.top + area.bottom) / 2, 1);
}

TEST(Centring, ADialogCentresOverItsOwnerAndStaysWhereItWasMoved) {
    ScriptedDialog owner(IDD_FORM);
    ASSERT_TRUE(owner.Create());
    SetWindowPos(owner.m_hWnd, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(owner.m_hWnd, SW_SHOW);
    const RECT ownerRect = WindowRect(owner.m_hWnd);

    ScriptedDialog centred(IDD_PLAIN, &owner);
    RECT shown = RectWhenShown(centred);
    EXPECT_NEAR((shown.left + shown.right) / 2, (ownerRect.left + ownerRect.right) / 2, 1);
    EXPECT_NEAR((shown.top + shown.bottom) / 2, (ownerRect.top + ownerRect.bottom) / 2, 1);

    ScriptedDialog moved(IDD_PLAIN, &owner);
    shown = RectWhenShown(moved, [](HWND d) { SetWindowPos(d, nullptr, 7, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER); });
    EXPECT_EQ(shown.left, 7);
    EXPECT_EQ(shown.top, 9);
}

// A dialog over an owner that hangs off the bottom-right corner of the
// screen is pushed back inside the owner's monitor's work area where the
// system knows monitors, inside the screen's work area where it does not
// (Windows 95, NT 4.0), and inside the screen when that cannot be had.
TEST(Centring, ADialogIsKeptOnItsOwnersMonitorOrWhatTheSystemKnowsInstead) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    ScriptedDialog owner(IDD_FORM);
    ASSERT_TRUE(owner.Create());
    const RECT size = WindowRect(owner.m_hWnd);
    SetWindowPos(owner.m_hWnd, nullptr, width - (size.right - size.left) / 2, height - (size.bottom - size.top) / 2,
                 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(owner.m_hWnd, SW_SHOW);
    wintest::ScopedImportRedirect parameters("user32.dll", "SystemParametersInfoA",
                                             reinterpret_cast<void*>(&FakeSystemParametersInfoA));
    g_realGetProcAddress = wintest::RedirectImport("kernel32.dll", "GetProcAddress",
                                                   reinterpret_cast<void*>(&FakeGetProcAddress));
    ASSERT_TRUE(parameters.active() && g_realGetProcAddress);

    const RECT monitor{10, 20, width - 40, height - 30}, workArea{0, 0, width - 60, height - 50};
    const FakeScreens cases[] = {{true, monitor, &workArea}, {false, {}, &workArea}, {false, {}, nullptr}};
    const RECT expected[] = {monitor, workArea, {0, 0, width, height}};
    for (int i = 0; i < 3; ++i) {
        g_screens = cases[i];
        ScriptedDialog dialog(IDD_PLAIN, &owner);
        const RECT shown = RectWhenShown(dialog);
        EXPECT_EQ(shown.right, expected[i].right) << "case " << i;
        EXPECT_EQ(shown.bottom, expected[i].bottom) << "case " << i;
        EXPECT_EQ(g_screens.monitorAskedFor, i == 0 ? owner.m_hWnd : nullptr) << "the owner's monitor";
    }
    wintest::RedirectImport("kernel32.dll", "GetProcAddress", g_realGetProcAddress);
}

TEST_F(FormTest, WritingFillsTheControlsWithoutChecking) {
    form.number = 1000;
    form.first = 1;
    form.second = 5;
    ASSERT_TRUE(form.UpdateData(FALSE));
    EXPECT_EQ(wintest::ControlText(form.m_hWnd, IDC_NUMBER), "1000");
    EXPECT_FALSE(Checked(form, IDC_FIRST_A));
    EXPECT_TRUE(Checked(form, IDC_FIRST_B));
    EXPECT_FALSE(Checked(form, IDC_FIRST_C));
    EXPECT_FALSE(Checked(form, IDC_SECOND_A)) << "a position outside the group clears it";
    EXPECT_FALSE(Checked(form, IDC_SECOND_B));
}

TEST_F(FormTest, ReadingGivesRadioPositionsWithinTheirGroups) {
    form.first = 2;
    form.second = 1;
    form.UpdateData(FALSE);
    SetText(form, IDC_NUMBER, " 250 ");
    SendMessageA(form.GetDlgItem(IDC_SECOND_B), BM_SETCHECK, BST_UNCHECKED, 0);
    MessageBoxCatcher boxes;
    ASSERT_TRUE(form.UpdateData(TRUE));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(form.number, 250);
    EXPECT_EQ(form.first, 2) << "the push button that starts a group ends the first group";
    EXPECT_EQ(form.second, -1) << "none checked";
}

TEST_F(FormTest, TextThatIsNoIntegerIsRefusedAndLeftSelected) {
    form.number = 100;
    form.first = 0;
    form.UpdateData(FALSE);
    for (const char* text : {"", "12x", "99999999999999"}) {
        SetText(form, IDC_NUMBER, text);
        SendMessageA(form.GetDlgItem(IDC_FIRST_C), BM_CLICK, 0, 0);
        MessageBoxCatcher boxes;
        HWND focusDuring = reinterpret_cast<HWND>(-1);
        boxes.WhileShown([&](HWND) { focusDuring = GetFocus(); });
        EXPECT_FALSE(form.UpdateData(TRUE)) << text;
        ASSERT_EQ(boxes.Boxes().size(), 1u) << text;
        EXPECT_EQ(boxes.Boxes()[0].text, "Not an integer.");
        EXPECT_EQ(boxes.Boxes()[0].caption, App().m_pszAppName);
        EXPECT_EQ(boxes.Boxes()[0].icon, LoadIconA(nullptr, IDI_EXCLAMATION));
        EXPECT_EQ(boxes.Boxes()[0].owner, form.m_hWnd);
        EXPECT_EQ(form.number, 100) << "kept";
        EXPECT_EQ(form.first, 0) << "later exchanges do not run";
        EXPECT_EQ(GetFocus(), form.GetDlgItem(IDC_NUMBER));
        const DWORD selection = static_cast<DWORD>(SendMessageA(form.GetDlgItem(IDC_NUMBER), EM_GETSEL, 0, 0));
        EXPECT_EQ(LOWORD(selection), 0);
        EXPECT_EQ(HIWORD(selection), lstrlenA(text));
    }
}

TEST_F(FormTest, ANumberOutOfRangeIsRefusedButKept) {
    for (const char* text : {"24", "401", "0", "-5"}) {
        SetText(form, IDC_NUMBER, text);
        MessageBoxCatcher boxes;
        EXPECT_FALSE(form.UpdateData(TRUE)) << text;
        ASSERT_EQ(boxes.Boxes().size(), 1u) << text;
        EXPECT_EQ(boxes.Boxes()[0].text, "From 25 to 400, please.");
        EXPECT_EQ(boxes.Boxes()[0].icon, LoadIconA(nullptr, IDI_EXCLAMATION));
        EXPECT_EQ(form.number, atoi(text)) << "the refused number stays in the field";
        EXPECT_EQ(GetFocus(), form.GetDlgItem(IDC_NUMBER));
    }
    for (const char* text : {"25", "400"}) {
        SetText(form, IDC_NUMBER, text);
        EXPECT_TRUE(form.UpdateData(TRUE)) << text;
    }
}

TEST_F(FormTest, OkClosesOnlyWhenTheControlsRead) {
    ScriptedDialog dialog(IDD_FORM);
    int okWhileInvalid = 0;
    dialog.onInit = [&](ScriptedDialog& d) {
        SetText(d, IDC_NUMBER, "7");
        CallSoon([&] {
            MessageBoxCatcher boxes;
            SendMessageA(d.m_hWnd, WM_COMMAND, IDOK, 0);
            okWhileInvalid = IsWindowVisible(d.m_hWnd) ? 1 : 2;
            SetText(d, IDC_NUMBER, "30");
            SendMessageA(d.m_hWnd, WM_COMMAND, IDOK, 0);
        });
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(okWhileInvalid, 1) << "still open after the refused OK";
    EXPECT_EQ(dialog.number, 30);
}

TEST_F(FormTest, ContextHelpOpensTheHelpFileAtTheDialogsTemplate) {
    wintest::FakeHelpEngine help;
    HELPINFO info{};
    info.cbSize = sizeof info;
    SendMessageA(form.m_hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(help.requests.size(), 1u);
    EXPECT_EQ(help.requests[0].command, static_cast<UINT>(HELP_CONTEXT));
    EXPECT_EQ(help.requests[0].data, static_cast<DWORD>(HID_BASE_RESOURCE + IDD_FORM));
    EXPECT_EQ(help.requests[0].file, App().m_pszHelpFilePath);
    EXPECT_NE(help.requests[0].file.find("framework_tests.HLP"), std::string::npos);
}

TEST_F(FormTest, ARefusedHelpCallIsReported) {
    wintest::FakeHelpEngine help;
    help.accept = false;
    MessageBoxCatcher boxes;
    form.WinHelp(0, HELP_FINDER);
    ASSERT_EQ(help.requests.size(), 1u);
    EXPECT_EQ(help.requests[0].command, static_cast<UINT>(HELP_FINDER));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Help did not start.");
    EXPECT_EQ(boxes.Boxes()[0].caption, App().m_pszAppName);
}

TEST(ModelessDialog, EndDialogHidesIt) {
    ScriptedDialog dialog(IDD_PLAIN);
    ASSERT_TRUE(dialog.Create());
    ShowWindow(dialog.m_hWnd, SW_SHOW);
    dialog.EndDialog(IDCANCEL);
    EXPECT_TRUE(IsWindow(dialog.m_hWnd));
    EXPECT_FALSE(IsWindowVisible(dialog.m_hWnd));
    HWND window = dialog.m_hWnd;
    dialog.DestroyWindow();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(dialog.m_hWnd, nullptr) << "detached when destroyed";
}

TEST(Gdi, APaletteIsOwnedByItsWrapper) {
    struct {
        LOGPALETTE header;
        PALETTEENTRY more[1];
    } two{};
    two.header.palVersion = 0x300;
    two.header.palNumEntries = 2;
    CPalette palette;
    ASSERT_TRUE(palette.CreatePalette(&two.header));
    HGDIOBJ handle = palette.GetSafeHandle();
    EXPECT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_PAL));
    EXPECT_FALSE(palette.CreatePalette(&two.header)) << "one palette per wrapper";
    CPalette moved(std::move(palette));
    EXPECT_EQ(moved.GetSafeHandle(), handle);
    EXPECT_EQ(palette.GetSafeHandle(), nullptr);
    EXPECT_TRUE(moved.DeleteObject());
    EXPECT_EQ(GetObjectType(handle), 0u) << "deleted";
}

TEST(Gdi, SystemColourBitmapsTakeTheButtonColours) {
    HBITMAP bitmap = AfxLoadSysColorBitmap(GetModuleHandleA(nullptr), IDB_GREYS);
    ASSERT_NE(bitmap, nullptr);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const int colours[] = {COLOR_BTNTEXT, COLOR_BTNSHADOW, COLOR_BTNFACE, COLOR_BTNHIGHLIGHT};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(GetPixel(memory, x, 0), GetSysColor(colours[x])) << x;
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
}
