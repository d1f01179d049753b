// The scanner session with real parts: Wine's TWAIN_32.DLL and the virtual
// scanner installed as C:\windows\twain_32\sane.ds in the test's prefix. A
// hidden window stands in for the copy dialog; its message loop passes every
// message through ProcessEvent first, as the application's pre-translation does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dib.h"
#include "fake_twain.h"
#include "high_memory.h"
#include "scan_plan.h"
#include "twain_session.h"
#include "virtual_scanner_support.h"
#include "wintest.h"

namespace {

using namespace scanner;

// What the owner window saw of one hand-off.
struct Image {
    WPARAM handle = 0;
    BOOL dsmOpen = FALSE, sourceOpen = FALSE, sourceEnabled = FALSE;
    bool usable = false;
    LONG width = 0, height = 0, xPelsPerMeter = 0;
    WORD bitCount = 0, colors = 0;
    // Pixels, top-left coordinates, as 0xRRGGBB.
    COLORREF topLeft = 0, insideFrame = 0, marker = 0, accent = 0, bottomRight = 0;
};

COLORREF PixelAt(const BYTE* dib, LONG x, LONG y) {
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
    const LONG height = GetDibHeight(dib);
    const LONG stride = (header->biWidth * header->biBitCount + 31) / 32 * 4;
    const BYTE* row = GetDibBits(dib) + static_cast<SIZE_T>(stride) * (height - 1 - y);
    const auto* table = reinterpret_cast<const RGBQUAD*>(dib + header->biSize);
    RGBQUAD c{};
    switch (header->biBitCount) {
    case 1: c = table[(row[x / 8] >> (7 - x % 8)) & 1]; break;
    case 8: c = table[row[x]]; break;
    case 24: c = RGBQUAD{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0}; break;
    default: break;
    }
    return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

std::vector<Image> g_images;
CTwainSession* g_session = nullptr;

Image Inspect(WPARAM handle) {
    Image image;
    image.handle = handle;
    image.dsmOpen = g_session->IsSourceManagerOpen();
    image.sourceOpen = g_session->IsSourceOpen();
    image.sourceEnabled = g_session->IsSourceEnabled();
    if (!handle) return image;
    HGLOBAL block = reinterpret_cast<HGLOBAL>(handle);
    image.usable = IsDibHandleUsable(block);
    const BYTE* dib = static_cast<const BYTE*>(GlobalLock(block));
    if (image.usable && dib) {
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
        image.width = GetDibWidth(dib);
        image.height = GetDibHeight(dib);
        image.bitCount = header->biBitCount;
        image.colors = GetDibColorCount(dib);
        image.xPelsPerMeter = header->biXPelsPerMeter;
        const LONG w = image.width, h = image.height;
        image.topLeft = PixelAt(dib, 0, 0);
        image.insideFrame = PixelAt(dib, 1, 1);
        image.marker = PixelAt(dib, w / 8 + 1, h / 8 + 1);
        image.accent = PixelAt(dib, 5 * w / 8 + 1, h / 8 + 1);
        image.bottomRight = PixelAt(dib, w - 1, h - 1);
    }
    if (dib) GlobalUnlock(block);
    GlobalFree(block);  // the dialog would keep it; here it has been looked at
    return image;
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER && g_session) {
        g_images.push_back(Inspect(wParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0);
const PrinterMetrics kPrinter600{600, 600, 4800, 6600};  // 8 x 11 inches printable

class VirtualScanner : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ScannerTestOwner";
        RegisterClassA(&wc);
        owner = CreateWindowExA(0, wc.lpszClassName, "copier stand-in", WS_OVERLAPPEDWINDOW, 0, 0,
                                200, 100, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(owner, nullptr);
        session.SetAppIdentity(fake::AppIdentity(), owner);
        g_session = &session;
        g_images.clear();
    }
    void TearDown() override {
        g_session = nullptr;
        DestroyWindow(owner);
    }

    // The application's message loop, for as long as `done` does not hold.
    template <class Pred>
    bool Pump(Pred done, DWORD timeoutMs = 20000) {
        const DWORD start = GetTickCount();
        while (!done()) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (!session.ProcessEvent(&msg, owner)) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
                if (done()) return true;
            }
            if (GetTickCount() - start > timeoutMs) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
        return true;
    }
    // Lets the loop run a little, for events that must not come.
    void PumpFor(DWORD ms) {
        const DWORD start = GetTickCount();
        Pump([&] { return GetTickCount() - start >= ms; }, ms + 1000);
    }

    // What the Copy command does, up to handing control back to the loop.
    bool StartCopy(const PrinterMetrics& printer, int scale, int mode, int speed, BOOL showUI) {
        if (!session.OpenSourceManager() || !session.OpenSource()) return false;
        PrepareScan(session, printer, scale, mode, speed);
        return session.Acquire(showUI) != FALSE;
    }
    bool AllClosed() const {
        return !session.IsSourceManagerOpen() && !session.IsSourceOpen() &&
               !session.IsSourceEnabled() && !session.IsScanning();
    }

    CTwainSession session;
    HWND owner = nullptr;
};

TEST_F(VirtualScanner, AnAutomaticCopyDeliversTheNegotiatedImage) {
    InstallScanner("Resolution=enumeration 75 150 300 600\nBedWidth=8.5\nBedHeight=11.69\n");
    // Colour at fast speed: 600 / 3 = 200 dpi, snapped to 150 (50 beats 100).
    ASSERT_TRUE(StartCopy(kPrinter600, 100, ScanModeColor, ScanSpeedFast, FALSE));
    EXPECT_TRUE(session.IsScanning());
    ASSERT_TRUE(Pump([] { return !g_images.empty(); })) << LogText();
    PumpFor(300);
    ASSERT_EQ(g_images.size(), 1u) << LogText();

    const Image& image = g_images[0];
    ASSERT_NE(image.handle, 0u);
    ASSERT_TRUE(image.usable);
#ifdef _WIN64
    // The 64-bit scanner puts the chart above 4 GB and writes all 8 bytes of
    // its handle through the manager: 4 of them would not have locked.
    EXPECT_GE(LogIndex("# the image's handle lies above 4 GB"), 0) << LogText();
    EXPECT_TRUE(wintest::IsAbove4GB(reinterpret_cast<void*>(image.handle)));
#endif
    EXPECT_EQ(image.width, 8 * 150) << "the frame is bounded by the 8-inch printable width";
    EXPECT_EQ(image.height, 11 * 150);
    EXPECT_EQ(image.bitCount, 24);
    EXPECT_EQ(image.colors, 0);
    EXPECT_EQ(image.xPelsPerMeter, 5906);
    EXPECT_EQ(image.topLeft, kBlack) << "the frame line runs along the edges";
    EXPECT_EQ(image.bottomRight, kBlack);
    EXPECT_EQ(image.insideFrame, kWhite);
    EXPECT_EQ(image.marker, kBlack) << "the top-left marker is at the top left";
    EXPECT_EQ(image.accent, kRed);
    EXPECT_FALSE(image.dsmOpen) << "closed before the last image is handed over";
    EXPECT_TRUE(AllClosed());
    LONG x = 0, y = 0;
    session.GetImageResolution(&x, &y);
    EXPECT_EQ(x, 5905);
    EXPECT_EQ(y, 5905);

    EXPECT_EQ(SetValues("ICAP_FRAMES"), (std::vector<double>{0, 0, 8, 11}));
    EXPECT_EQ(SetValues("ICAP_XRESOLUTION"), std::vector<double>{150});
    EXPECT_EQ(SetValues("ICAP_YRESOLUTION"), std::vector<double>{150});
    EXPECT_EQ(SetValues("ICAP_PIXELTYPE"), std::vector<double>{2});
    EXPECT_EQ(SetValues("ICAP_XFERMECH"), std::vector<double>{0});
    const std::string log = LogText();
    EXPECT_EQ(log.find("SEQERROR"), std::string::npos) << log;
    EXPECT_EQ(log.find("BADPROTOCOL"), std::string::npos) << log;
    EXPECT_NE(log.find("ENABLEDS ShowUI=0 ModalUI=0 hParent=window -> SUCCESS"), std::string::npos)
        << log;
    // The standard's order: settings, enable, ready, information, transfer, end, close.
    const int frame = LogIndex("CONTROL/CAPABILITY/SET ICAP_FRAMES");
    const int mechanism = LogIndex("CONTROL/CAPABILITY/SET ICAP_XFERMECH");
    const int enable = LogIndex("CONTROL/USERINTERFACE/ENABLEDS");
    const int ready = LogIndex("CONTROL/EVENT/PROCESSEVENT -> DSEVENT XFERREADY");
    const int info = LogIndex("IMAGE/IMAGEINFO/GET -> SUCCESS");
    const int transfer = LogIndex("IMAGE/IMAGENATIVEXFER/GET image=1 1200x1650x24 -> XFERDONE");
    const int end = LogIndex("CONTROL/PENDINGXFERS/ENDXFER -> SUCCESS Count=0");
    const int disable = LogIndex("CONTROL/USERINTERFACE/DISABLEDS -> SUCCESS");
    const int close = LogIndex("CONTROL/IDENTITY/CLOSEDS -> SUCCESS");
    EXPECT_TRUE(frame >= 0 && frame < mechanism && mechanism < enable && enable < ready &&
                ready < info && info < transfer && transfer < end && end < disable &&
                disable < close)
        << log;
}

TEST_F(VirtualScanner, GreyAndTextModesDeliverTheirDepthsWithTheirTables) {
    InstallScanner("Resolution=enumeration 75 150 300 600\n");
    // 25 %: R = 5905 dots per metre; grey at normal speed is 150 dpi.
    ASSERT_TRUE(StartCopy(kPrinter600, 25, ScanModeGray, ScanSpeedNormal, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 1; })) << LogText();
    EXPECT_EQ(SetValues("ICAP_FRAMES"), (std::vector<double>{0, 0, 8.5, 11.6806}))
        << "the page bound exceeds the bed at 25 %";
    EXPECT_EQ(SetValues("ICAP_PIXELTYPE"), std::vector<double>{1});
    // Text at fast speed: 5905 / 2 = 75 dpi, in black and white.
    ASSERT_TRUE(StartCopy(kPrinter600, 25, ScanModeText, ScanSpeedFast, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 2; })) << LogText();
    EXPECT_EQ(SetValues("ICAP_PIXELTYPE"), std::vector<double>{0});
    EXPECT_EQ(SetValues("ICAP_XRESOLUTION"), std::vector<double>{75});

    const Image& grey = g_images[0];
    ASSERT_TRUE(grey.usable);
    EXPECT_EQ(grey.bitCount, 8);
    EXPECT_EQ(grey.colors, 256);
    EXPECT_EQ(grey.width, 1275);
    EXPECT_EQ(grey.height, 1752);
    EXPECT_EQ(grey.topLeft, kBlack);
    EXPECT_EQ(grey.accent, RGB(128, 128, 128));
    const Image& text = g_images[1];
    ASSERT_TRUE(text.usable);
    EXPECT_EQ(text.bitCount, 1);
    EXPECT_EQ(text.colors, 2);
    EXPECT_EQ(text.width, 638);
    EXPECT_EQ(text.topLeft, kBlack);
    EXPECT_EQ(text.insideFrame, kWhite);
    EXPECT_EQ(text.marker, kBlack);
}

TEST_F(VirtualScanner, ASourceWithoutTheWantedPixelTypeScansWithItsOwn) {
    InstallScanner("PixelTypes=0 2\nPixelType=2\nResolution=enumeration 75 150\n");
    ASSERT_TRUE(StartCopy(kPrinter600, 25, ScanModeGray, ScanSpeedNormal, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 1; })) << LogText();
    EXPECT_TRUE(SetValues("ICAP_PIXELTYPE").empty()) << LogText();
    EXPECT_EQ(g_images[0].bitCount, 24);
}

TEST_F(VirtualScanner, ABatchOfThreeArrivesAsThreeImages) {
    InstallScanner("Images=3\nResolution=enumeration 75 150\n");
    ASSERT_TRUE(StartCopy(kPrinter600, 25, ScanModeColor, ScanSpeedNormal, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 3; })) << LogText();
    PumpFor(300);
    ASSERT_EQ(g_images.size(), 3u);
    for (const Image& image : g_images) {
        EXPECT_NE(image.handle, 0u);
        EXPECT_TRUE(image.usable);
    }
    EXPECT_TRUE(g_images[0].sourceEnabled) << "earlier images come while the source transfers";
    EXPECT_TRUE(g_images[1].sourceEnabled);
    EXPECT_FALSE(g_images[2].sourceOpen) << "the session is closed before the third";
    EXPECT_FALSE(g_images[2].dsmOpen);
    EXPECT_EQ(LogLinesStartingWith("CONTROL/PENDINGXFERS/ENDXFER -> SUCCESS").size(), 3u);
    EXPECT_TRUE(AllClosed());
}

TEST_F(VirtualScanner, CancelledAndFailedTransfersArriveAsZero) {
    InstallScanner("Transfers=cancel\nResolution=enumeration 75 150\n");
    ASSERT_TRUE(StartCopy(kPrinter600, 25, ScanModeColor, ScanSpeedNormal, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 1; })) << LogText();
    EXPECT_EQ(g_images[0].handle, 0u);
    EXPECT_TRUE(AllClosed());
    EXPECT_GE(LogIndex("IMAGE/IMAGENATIVEXFER/GET image=1"), 0);
    EXPECT_LT(LogIndex("IMAGE/IMAGENATIVEXFER/GET image=1"),
              LogIndex("CONTROL/PENDINGXFERS/ENDXFER -> SUCCESS Count=0"));

    g_images.clear();
    InstallScanner("Images=3\nTransfers=done cancel fail\nResolution=enumeration 75 150\n");
    ASSERT_TRUE(StartCopy(kPrinter600, 25, ScanModeColor, ScanSpeedNormal, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 3; })) << LogText();
    EXPECT_NE(g_images[0].handle, 0u);
    EXPECT_EQ(g_images[1].handle, 0u);
    EXPECT_EQ(g_images[2].handle, 0u);
    EXPECT_TRUE(AllClosed());
    EXPECT_EQ(LogText().find("SEQERROR"), std::string::npos) << LogText();
}

TEST_F(VirtualScanner, ACloseRequestEndsTheSessionWithoutAnImage) {
    InstallScanner("CloseRequest=1\n");
    ASSERT_TRUE(StartCopy(kPrinter600, 100, ScanModeColor, ScanSpeedNormal, FALSE));
    ASSERT_TRUE(Pump([&] { return !session.IsSourceManagerOpen(); })) << LogText();
    PumpFor(300);
    EXPECT_TRUE(g_images.empty());
    EXPECT_TRUE(AllClosed());
    EXPECT_GE(LogIndex("CONTROL/EVENT/PROCESSEVENT -> DSEVENT CLOSEDSREQ"), 0);
    EXPECT_GE(LogIndex("CONTROL/USERINTERFACE/DISABLEDS -> SUCCESS"), 0);
    EXPECT_GE(LogIndex("CONTROL/IDENTITY/CLOSEDS -> SUCCESS"), 0);
    EXPECT_LT(LogIndex("IMAGE/IMAGENATIVEXFER"), 0);
}

TEST_F(VirtualScanner, ACentimetreSourceIsAskedInCentimetres) {
    InstallScanner("Unit=centimeters\nResolution=enumeration 29.53 59.06 118.11 236.22\n"
                   "BedWidth=21.59\nBedHeight=29.69\n");
    // 78.74 dots per centimetre wanted: 59.06 is nearer than 118.11.
    ASSERT_TRUE(StartCopy(kPrinter600, 100, ScanModeColor, ScanSpeedFast, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 1; })) << LogText();
    const std::vector<double> frame = SetValues("ICAP_FRAMES");
    ASSERT_EQ(frame.size(), 4u) << LogText();
    EXPECT_NEAR(frame[2], 20.32, 1e-3);
    EXPECT_NEAR(frame[3], 27.94, 1e-3);
    ASSERT_EQ(SetValues("ICAP_XRESOLUTION").size(), 1u);
    EXPECT_NEAR(SetValues("ICAP_XRESOLUTION")[0], 59.06, 1e-3);
    EXPECT_EQ(g_images[0].width, 1200);
    EXPECT_EQ(g_images[0].height, 1650);
    LONG x = 0, y = 0;
    session.GetImageResolution(&x, &y);
    EXPECT_NEAR(x, 5906, 1);
}

TEST_F(VirtualScanner, ARangeOfResolutionsIsSnappedToItsSteps) {
    InstallScanner("Resolution=range 50 1200 25\n");
    // 62 %: R = 14645, colour fast 4881 dots per metre = 124 dpi, snapped to 125.
    ASSERT_TRUE(StartCopy(kPrinter600, 62, ScanModeColor, ScanSpeedFast, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 1; })) << LogText();
    EXPECT_EQ(SetValues("ICAP_XRESOLUTION"), std::vector<double>{125});
    EXPECT_EQ(SetValues("ICAP_YRESOLUTION"), std::vector<double>{125});
}

TEST_F(VirtualScanner, APixelSourceRefusesTheEmptyFrameAndScansWithItsOwn) {
    InstallScanner("Unit=pixels\nBedWidth=300\nBedHeight=400\n");
    ASSERT_TRUE(StartCopy(kPrinter600, 100, ScanModeColor, ScanSpeedNormal, FALSE));
    ASSERT_TRUE(Pump([] { return g_images.size() == 1; })) << LogText();
    EXPECT_GE(LogIndex("CONTROL/CAPABILITY/SET ICAP_FRAMES FRAME 0 0 0 0 -> FAILURE"), 0)
        << LogText();
    EXPECT_GE(LogIndex("CONTROL/CAPABILITY/SET ICAP_XRESOLUTION FIX32 0 -> FAILURE"), 0);
    EXPECT_EQ(g_images[0].width, 300);
    EXPECT_EQ(g_images[0].height, 400);
}

TEST_F(VirtualScanner, TheScannersOwnWindowStartsTheScan) {
    InstallScanner("Resolution=enumeration 75 150\n");
    ASSERT_TRUE(StartCopy(kPrinter600, 25, ScanModeColor, ScanSpeedNormal, TRUE));
    HWND window = nullptr;
    ASSERT_TRUE(Pump([&] { return (window = FindWindowA("VirtualScannerWindow", nullptr)) != nullptr; }))
        << LogText();
    EXPECT_GE(LogIndex("CONTROL/USERINTERFACE/ENABLEDS ShowUI=1"), 0);
    PumpFor(300);
    EXPECT_TRUE(g_images.empty()) << "nothing happens before the user presses Scan";
    wintest::Screenshot("scanner_window", window);

    wintest::PostClick(window, IDOK);
    ASSERT_TRUE(Pump([] { return g_images.size() == 1; })) << LogText();
    EXPECT_NE(g_images[0].handle, 0u);
    EXPECT_TRUE(AllClosed());
    EXPECT_FALSE(IsWindow(window)) << "disabling the source took its window away";
}

TEST_F(VirtualScanner, ClosingTheScannersWindowEndsTheSession) {
    InstallScanner("");
    ASSERT_TRUE(StartCopy(kPrinter600, 100, ScanModeColor, ScanSpeedNormal, TRUE));
    HWND window = nullptr;
    ASSERT_TRUE(Pump([&] { return (window = FindWindowA("VirtualScannerWindow", nullptr)) != nullptr; }));
    wintest::PostClick(window, IDCANCEL);
    ASSERT_TRUE(Pump([&] { return !session.IsSourceManagerOpen(); })) << LogText();
    EXPECT_TRUE(g_images.empty());
    EXPECT_TRUE(AllClosed());
}

TEST_F(VirtualScanner, ARefusedEnableClosesEverythingAgain) {
    InstallScanner("FailEnable=1\n");
    EXPECT_FALSE(StartCopy(kPrinter600, 100, ScanModeColor, ScanSpeedNormal, FALSE));
    EXPECT_TRUE(AllClosed());
    EXPECT_GE(LogIndex("CONTROL/IDENTITY/CLOSEDS -> SUCCESS"), 0);
}

// Answers the manager's selection dialog from inside its own modal loop.
WPARAM g_selectionAnswer = IDOK;
bool g_selectionSeen = false;

BOOL CALLBACK AnswerDialog(HWND window, LPARAM) {
    char name[64];
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
    g_selectionSeen = true;
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(g_selectionAnswer, BN_CLICKED), 0);
    return FALSE;
}

void CALLBACK SelectionTimer(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), AnswerDialog, 0);
}

TEST_F(VirtualScanner, TheUserSelectsTheScannerInTheManagersDialog) {
    InstallScanner("");
    ASSERT_TRUE(session.OpenSourceManager());
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, SelectionTimer);
    g_selectionSeen = false;
    g_selectionAnswer = IDCANCEL;
    EXPECT_EQ(session.SelectSource(), TWRC_CANCEL);
    EXPECT_TRUE(g_selectionSeen);
    g_selectionSeen = false;
    g_selectionAnswer = IDOK;
    EXPECT_EQ(session.SelectSource(), TWRC_SUCCESS);
    EXPECT_TRUE(g_selectionSeen);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(session.CloseSourceManager());

    // The chosen scanner is the one opened.
    ASSERT_TRUE(session.OpenSourceManager());
    ASSERT_TRUE(session.OpenSource());
    EXPECT_GE(LogIndex("CONTROL/IDENTITY/OPENDS -> SUCCESS"), 0);
    // With a source open there is no dialog at all.
    g_selectionSeen = false;
    const UINT_PTR watch = SetTimer(nullptr, 0, 50, SelectionTimer);
    EXPECT_NE(session.SelectSource(), TWRC_SUCCESS);
    PumpFor(300);
    KillTimer(nullptr, watch);
    EXPECT_FALSE(g_selectionSeen);
    ASSERT_TRUE(session.CloseSource());
    ASSERT_TRUE(session.CloseSourceManager());
}

// Without sane.ds the manager opens but has no source to offer.
TEST(NoScanner, OpenSourceFailsAndAcquireClosesTheManagerAgain) {
    DeleteFileA((TwainDir() + "\\sane.ds").c_str());
    CTwainSession session;
    session.SetAppIdentity(TW_IDENTITY{}, nullptr);
    ASSERT_TRUE(session.OpenSourceManager()) << "Wine's TWAIN_32.DLL is in the Windows directory";
    EXPECT_FALSE(session.OpenSource());
    EXPECT_TRUE(session.IsSourceManagerOpen());
    EXPECT_TRUE(session.CloseSourceManager());
    EXPECT_FALSE(session.Acquire(FALSE));
    EXPECT_FALSE(session.IsSourceManagerOpen());
    EXPECT_FALSE(session.IsScanning());
}

}  // namespace
