// Kopiwa.exe from the distribution folder making real copies: the virtual
// scanner installed in the test's Wine prefix as the TWAIN source, the PDF
// queue as the default printer. What the copier asked the scanner for is read
// from the scanner's log, what it printed is measured in the PDF.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "copier_texts.h"
#include "dib.h"
#include "kopiwa_driver.h"
#include "memory_counter.h"
#include "virtual_scanner_support.h"

using namespace kopiwa;
using namespace scanner;

namespace {

const int kCopyButton = 1001;
const int kRecopyButton = 1012;
const int kScaleEdit = 1005;
const int kStatusLine = 1024;
const int kModeButtons[] = {1009, 1032, 1010};        // colour, grey photograph, text
const int kSpeedButtons[] = {1014, 1015, 1016};       // super-fast, fast, normal

// One printer dot at 300 dpi is 0.085 mm; the rendering of the PDF for the
// measurement rounds each edge to a rendered pixel once more.
const double kToleranceMm = 0.2;

double DotsToMm(double dots, int dpi) { return dots * 25.4 / dpi; }

// The printer as the copier sees it: its device context's capabilities.
struct PrinterCaps {
    int dpiX = 0, dpiY = 0, horzRes = 0, vertRes = 0, offsetX = 0, offsetY = 0;
};

PrinterCaps CapsOfPdfPrinter(const DEVMODEA* mode = nullptr) {
    PrinterCaps caps;
    HDC dc = CreateDCA("WINSPOOL", wintest::TestPrinter().c_str(), nullptr, mode);
    if (!dc) return caps;
    caps.dpiX = GetDeviceCaps(dc, LOGPIXELSX);
    caps.dpiY = GetDeviceCaps(dc, LOGPIXELSY);
    caps.horzRes = GetDeviceCaps(dc, HORZRES);
    caps.vertRes = GetDeviceCaps(dc, VERTRES);
    caps.offsetX = GetDeviceCaps(dc, PHYSICALOFFSETX);
    caps.offsetY = GetDeviceCaps(dc, PHYSICALOFFSETY);
    DeleteDC(dc);
    return caps;
}

// One image as the scanner's log tells of it.
struct Transfer {
    bool ok = false;
    long width = 0, height = 0;
    int bits = 0;
    double dpi = 0;  // the resolution set last before it
};

Transfer LastTransfer() {
    Transfer t;
    const std::vector<std::string> lines = LogLinesStartingWith("IMAGE/IMAGENATIVEXFER/GET image=");
    if (lines.empty()) return t;
    int index = 0;
    t.ok = std::sscanf(lines.back().c_str(), "IMAGE/IMAGENATIVEXFER/GET image=%d %ldx%ldx%d", &index, &t.width,
                       &t.height, &t.bits) == 4;
    const std::vector<double> dpi = SetValues("ICAP_XRESOLUTION");
    if (!dpi.empty()) t.dpi = dpi.back();
    return t;
}


size_t TransferCount() { return LogLinesStartingWith("IMAGE/IMAGENATIVEXFER/GET").size(); }

class CopyE2E : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteCopierKeys();
        InstallScanner("");
        printer = CapsOfPdfPrinter();
        ASSERT_GT(printer.dpiX, 0) << "the PDF printer";
    }
    void TearDown() override {
        if (copier.Process().Running()) copier.Process().Kill();
        DeleteCopierKeys();
    }

    void Start() {
        ASSERT_TRUE(copier.Start());
        ASSERT_TRUE(WaitReady());
    }
    bool WaitReady(DWORD timeoutMs = 60000) {
        return PumpUntil([&] { return copier.Text(kStatusLine) == texts::kReady && copier.Enabled(kCopyButton); },
                         timeoutMs);
    }
    void Choose(int mode, int speed) {
        copier.Click(kModeButtons[mode]);
        copier.Click(kSpeedButtons[speed]);
        ASSERT_TRUE(PumpUntil(
            [&] { return copier.Checked(kModeButtons[mode]) && copier.Checked(kSpeedButtons[speed]); }, 5000));
    }
    void SetScale(int scale) { copier.SetText(kScaleEdit, std::to_string(scale)); }

    // Presses `button` and waits for the page it prints; "" when none came.
    std::string PrintWith(int button) {
        const std::set<std::string> before = wintest::PdfFiles();
        const int job = wintest::LastPrintJob();
        copier.Click(button);
        const std::string pdf = wintest::WaitForNewPdf(before, 90000);
        EXPECT_TRUE(WaitReady()) << "back to ready after printing";
        EXPECT_GT(wintest::LastPrintJob(), job) << "the page went through the test printer's queue";
        return pdf;
    }
    // Presses `button`; true when the copier went to the scanner and is
    // ready again without having given the printer a job.
    bool NothingPrintedBy(int button) {
        const int job = wintest::LastPrintJob();
        const size_t logged = LogText().size();
        copier.Click(button);
        // The status goes to scanning or printing at once and back on a tick.
        PumpUntil([&] { return copier.Text(kStatusLine) != texts::kReady; }, 1500);
        if (!WaitReady()) return false;
        return job >= 0 && wintest::LastPrintJob() == job && LogText().size() > logged;
    }

    // The ink of a page, expected at the printable area's top-left corner.
    wintest::PrintBox Measure(const std::string& pdf) {
        wintest::PrintBox box = wintest::MeasurePdf(pdf, 300);
        EXPECT_TRUE(box.ok) << pdf;
        EXPECT_FALSE(box.empty) << pdf;
        EXPECT_NEAR(box.left, DotsToMm(printer.offsetX, printer.dpiX), kToleranceMm) << pdf;
        EXPECT_NEAR(box.top, DotsToMm(printer.offsetY, printer.dpiY), kToleranceMm) << pdf;
        return box;
    }
    // The printed size of a transferred image at `scale`, in millimetres.
    static double PrintedMm(long pixels, double dpi, int scale) { return pixels / dpi * 25.4 * scale / 100.0; }
    void ExpectTrueSize(const wintest::PrintBox& box, const Transfer& image, int scale) {
        EXPECT_NEAR(box.width, PrintedMm(image.width, image.dpi, scale), kToleranceMm);
        EXPECT_NEAR(box.height, PrintedMm(image.height, image.dpi, scale), kToleranceMm);
    }

    // The chart's top-left marker, rows h/8 to h/4, printed solid: a band of
    // the drawing that ends inside it would show as a white row where bands
    // leave a gap, and make the marker a row taller where they overlap.
    void ExpectBandsUnseen(const std::string& pdf, const Transfer& image) {
        const long stride = (image.width * image.bits + 31) / 32 * 4;
        const long bandRows = std::max<long>(1, static_cast<long>(kDibBandBytes) / stride);
        const long y0 = image.height / 8, y1 = image.height / 4, x0 = image.width / 8, x1 = image.width / 4;
        if ((y0 / bandRows + 1) * bandRows >= y1) return;  // no band ends inside the marker
        const wintest::PdfPage page = wintest::RenderPdf(pdf, printer.dpiY);
        ASSERT_TRUE(page.ok) << pdf;
        const double dots = printer.dpiY / image.dpi;  // printer dots to an image pixel
        const int top = printer.offsetY + static_cast<int>(std::lround(y0 * dots));
        const int bottom = printer.offsetY + static_cast<int>(std::lround(y1 * dots));
        const int left = printer.offsetX + static_cast<int>(std::lround(x0 * dots)) + 2;
        const int right = printer.offsetX + static_cast<int>(std::lround(x1 * dots)) - 2;
        ASSERT_TRUE(bottom < page.height && right < page.width);
        int lightRows = 0, inkedRows = 0;
        for (int y = top - 3; y < bottom + 3; ++y) {
            int light = 0;
            for (int x = left; x < right; ++x) light += page.At(x, y) >= 128;
            if (light == 0) ++inkedRows;
            if (y >= top + 1 && y < bottom - 1 && light > 0) ++lightRows;
        }
        EXPECT_EQ(lightRows, 0) << "a light row inside the marker, where bands meet";
        EXPECT_NEAR(inkedRows, bottom - top, 1) << "the marker's height in printer dots";
    }

    Copier copier;
    PrinterCaps printer;
};

// What the copier asks the scanner for on the PDF printer (300 dpi, A4
// printable 2479 x 3508 dots): at 100 % the frame is the printable area in
// whole points (594 x 841), the bed (8.5 x 11.69 in) cut to it; the base
// resolution 11811 dots per metre divided by the mode's and speed's divisor
// and snapped to the scanner's 75 100 150 200 300 400 600 1200 dpi.
struct CopyCase {
    int mode, speed;
    double dpi;     // snapped
    int pixelType;  // TWPT_RGB 2, TWPT_GRAY 1, TWPT_BW 0
    int bits;
};

TEST_F(CopyE2E, EachModeAndSpeedAsksForItsResolutionAndPrintsAtTrueSize) {
    ASSERT_EQ(printer.dpiX, 300);
    ASSERT_EQ(printer.dpiY, 300);
    ASSERT_EQ(printer.horzRes, 2479);
    ASSERT_EQ(printer.vertRes, 3508);
    Start();
    const CopyCase cases[] = {
        {0, 0, 75, 2, 24},   // colour / 6: 1968 dots per metre, 50 dpi, snapped to 75
        {0, 1, 100, 2, 24},  // colour / 3
        {0, 2, 150, 2, 24},  // colour / 2
        {1, 2, 300, 1, 8},   // grey / 1
        {1, 1, 150, 1, 8},   // grey / 2
        {2, 0, 100, 0, 1},   // text / 3
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " speed " + std::to_string(c.speed));
        Choose(c.mode, c.speed);
        const size_t transfers = TransferCount();
        const std::string pdf = PrintWith(kCopyButton);
        ASSERT_FALSE(pdf.empty()) << LogText();
        EXPECT_EQ(TransferCount(), transfers + 1);
        const std::vector<double> frame = SetValues("ICAP_FRAMES");
        ASSERT_EQ(frame.size(), 4u) << LogText();
        EXPECT_EQ(frame[0], 0);
        EXPECT_EQ(frame[1], 0);
        EXPECT_NEAR(frame[2], 594 / 72.0, 1e-3) << "8.25 in";
        EXPECT_NEAR(frame[3], 841 / 72.0, 1e-3) << "11.6806 in";
        EXPECT_EQ(SetValues("ICAP_XRESOLUTION"), std::vector<double>{c.dpi});
        EXPECT_EQ(SetValues("ICAP_YRESOLUTION"), std::vector<double>{c.dpi});
        EXPECT_EQ(SetValues("ICAP_PIXELTYPE"), std::vector<double>{static_cast<double>(c.pixelType)});
        const Transfer image = LastTransfer();
        ASSERT_TRUE(image.ok) << LogText();
        EXPECT_EQ(image.bits, c.bits);
        EXPECT_EQ(image.width, std::lround(8.25 * c.dpi));
        const wintest::PrintBox box = Measure(pdf);
        ExpectTrueSize(box, image, 100);
        ExpectBandsUnseen(pdf, image);
        std::printf("[ measured ] mode %d speed %d: %ldx%ld at %g dpi, printed %.3f x %.3f mm at (%.3f, %.3f), "
                    "expected %.3f x %.3f\n",
                    c.mode, c.speed, image.width, image.height, c.dpi, box.width, box.height, box.left, box.top,
                    PrintedMm(image.width, image.dpi, 100), PrintedMm(image.height, image.dpi, 100));
    }
    EXPECT_EQ(LogText().find("SEQERROR"), std::string::npos) << LogText();
#ifdef _WIN64
    // The 64-bit scanner wrote each handle whole, above 4 GB: every page
    // printed, so the copier took all 8 bytes of them.
    EXPECT_EQ(LogLinesStartingWith("# the image's handle lies above 4 GB").size(), TransferCount()) << LogText();
#endif
    EXPECT_TRUE(copier.Exit());
}

// Reductions and enlargements: the frame grows as 100 / scale up to the bed,
// the resolution with the scale; the page shows the image times the scale.
TEST_F(CopyE2E, TheScaleSizesTheFrameTheResolutionAndThePrint) {
    Start();
    Choose(0, 2);  // colour, normal: divisor 2
    struct ScaleCase {
        int scale;
        double frameWidth, frameHeight;  // inches
        double dpi;
    };
    const ScaleCase cases[] = {
        {50, 8.5, 11.6806, 75},              // page bound 1188 x 1682 pt: the bed (612 x 841) limits
        {200, 297 / 72.0, 420 / 72.0, 300},  // 594 * 100 / 200, 841 * 100 / 200; 23622 / 2
    };
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE("scale " + std::to_string(c.scale));
        SetScale(c.scale);
        const std::string pdf = PrintWith(kCopyButton);
        ASSERT_FALSE(pdf.empty()) << LogText();
        const std::vector<double> frame = SetValues("ICAP_FRAMES");
        ASSERT_EQ(frame.size(), 4u);
        EXPECT_NEAR(frame[2], c.frameWidth, 1e-3);
        EXPECT_NEAR(frame[3], c.frameHeight, 1e-3);
        EXPECT_EQ(SetValues("ICAP_XRESOLUTION"), std::vector<double>{c.dpi});
        const Transfer image = LastTransfer();
        const wintest::PrintBox box = Measure(pdf);
        ExpectTrueSize(box, image, c.scale);
        std::printf("[ measured ] scale %d: %ldx%ld at %g dpi, printed %.3f x %.3f mm, expected %.3f x %.3f\n",
                    c.scale, image.width, image.height, c.dpi, box.width, box.height,
                    PrintedMm(image.width, image.dpi, c.scale), PrintedMm(image.height, image.dpi, c.scale));
    }
    EXPECT_TRUE(copier.Exit());
}

// Re-copy prints the held image again, at the scale as last read: typing a
// new scale is not enough, a Copy (even one that then cannot scan, or that
// refuses the number) reads it.
TEST_F(CopyE2E, ReCopyReprintsTheHeldImageAtTheScaleLastRead) {
    Start();
    EXPECT_FALSE(copier.Enabled(kRecopyButton)) << "nothing held yet";
    Choose(0, 2);
    const std::string first = PrintWith(kCopyButton);
    ASSERT_FALSE(first.empty()) << LogText();
    const Transfer image = LastTransfer();
    const wintest::PrintBox original = Measure(first);
    ExpectTrueSize(original, image, 100);
    EXPECT_TRUE(copier.Enabled(kRecopyButton));

    SetScale(400);
    const std::string same = PrintWith(kRecopyButton);
    ASSERT_FALSE(same.empty());
    const wintest::PrintBox again = Measure(same);
    EXPECT_NEAR(again.width, original.width, kToleranceMm) << "the old scale";
    EXPECT_NEAR(again.height, original.height, kToleranceMm);
    EXPECT_EQ(TransferCount(), 1u) << "not scanned again";

    // A Copy whose scanner cannot be opened still reads the controls.
    WriteSettings("FailOpen=1\n");
    ASSERT_TRUE(NothingPrintedBy(kCopyButton));
    EXPECT_GE(LogIndex("CONTROL/IDENTITY/OPENDS -> FAILURE"), 0) << LogText();
    const std::string cut = PrintWith(kRecopyButton);
    ASSERT_FALSE(cut.empty());
    const wintest::PrintBox page = Measure(cut);
    // 400 % of 209.6 x 296.7 mm: cut at the printable area's right and bottom.
    EXPECT_NEAR(page.width, DotsToMm(printer.horzRes, printer.dpiX), kToleranceMm);
    EXPECT_NEAR(page.height, DotsToMm(printer.vertRes, printer.dpiY), kToleranceMm);
    std::printf("[ measured ] re-copy at 400 %%: %.3f x %.3f mm, printable %.3f x %.3f mm\n", page.width,
                page.height, DotsToMm(printer.horzRes, printer.dpiX), DotsToMm(printer.vertRes, printer.dpiY));

    SetScale(25);
    ASSERT_TRUE(NothingPrintedBy(kCopyButton));
    const std::string quarter = PrintWith(kRecopyButton);
    ASSERT_FALSE(quarter.empty());
    ExpectTrueSize(Measure(quarter), image, 25);

    // A refused number stays in the field; Re-copy prints at it.
    SetScale(401);
    copier.Click(kCopyButton);
    HWND box = WaitForMessageBox(copier.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(wintest::MessageBoxText(box), texts::kScaleRange);
    ASSERT_TRUE(AnswerMessageBox(box));
    const std::string beyond = PrintWith(kRecopyButton);
    ASSERT_FALSE(beyond.empty());
    const wintest::PrintBox beyondBox = Measure(beyond);
    EXPECT_NEAR(beyondBox.width, DotsToMm(printer.horzRes, printer.dpiX), kToleranceMm);
    EXPECT_EQ(TransferCount(), 1u) << LogText();
    SetScale(100);  // Exit reads the controls too
    EXPECT_TRUE(copier.Exit());
}

// A cropped print draws whole image pixels at their exact size and lets the
// printable area cut the last one: stretching the pixels that fit over the
// whole printable area would make the visible part up to 0.65 % too large.
// Measured on the chart's top-left marker, [w/8, w/4) x [h/8, h/4), which
// stays on the page at these scales of a 75 dpi scan.
TEST_F(CopyE2E, ReCopyCroppedAtThePrintableAreaKeepsEachPixelsSize) {
    Start();
    Choose(0, 0);  // colour, fastest: 75 dpi at 100 %
    const std::string first = PrintWith(kCopyButton);
    ASSERT_FALSE(first.empty()) << LogText();
    const Transfer image = LastTransfer();
    ASSERT_TRUE(image.ok);
    ASSERT_EQ(image.dpi, 75);
    WriteSettings("FailOpen=1\n");  // Copy then only reads the scale
    const double originX = DotsToMm(printer.offsetX, printer.dpiX);
    const double originY = DotsToMm(printer.offsetY, printer.dpiY);
    for (int scale : {387, 400}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        SetScale(scale);
        ASSERT_TRUE(NothingPrintedBy(kCopyButton));
        const std::string pdf = PrintWith(kRecopyButton);
        ASSERT_FALSE(pdf.empty());
        const wintest::PrintBox page = Measure(pdf);
        EXPECT_NEAR(page.width, DotsToMm(printer.horzRes, printer.dpiX), kToleranceMm) << "cropped";
        EXPECT_NEAR(page.height, DotsToMm(printer.vertRes, printer.dpiY), kToleranceMm);
        // Past the chart's outer frame line, up to the page's far corner.
        const double frame = PrintedMm(1, image.dpi, scale) + 0.5;
        const wintest::PrintBox mark =
            wintest::MeasurePdfWithin(pdf, 300, originX + frame, originY + frame, page.pageWidth, page.pageHeight);
        ASSERT_TRUE(mark.ok && !mark.empty) << pdf;
        const long x0 = image.width / 8, x1 = image.width / 4, y0 = image.height / 8, y1 = image.height / 4;
        EXPECT_NEAR(mark.left - originX, PrintedMm(x0, image.dpi, scale), kToleranceMm);
        EXPECT_NEAR(mark.top - originY, PrintedMm(y0, image.dpi, scale), kToleranceMm);
        EXPECT_NEAR(mark.width, PrintedMm(x1 - x0, image.dpi, scale), kToleranceMm);
        EXPECT_NEAR(mark.height, PrintedMm(y1 - y0, image.dpi, scale), kToleranceMm);
        std::printf("[ measured ] re-copy at %d %%: marker at (%.3f, %.3f) %.3f x %.3f mm, expected (%.3f, %.3f) "
                    "%.3f x %.3f\n",
                    scale, mark.left - originX, mark.top - originY, mark.width, mark.height,
                    PrintedMm(x0, image.dpi, scale), PrintedMm(y0, image.dpi, scale),
                    PrintedMm(x1 - x0, image.dpi, scale), PrintedMm(y1 - y0, image.dpi, scale));
    }
    SetScale(100);
    EXPECT_TRUE(copier.Exit());
}

// A scan cancelled at its transfer sends no image: the held one stays and
// Re-copy prints it as before, although the cancelled scan had been set up
// for twice the resolution.
TEST_F(CopyE2E, ACancelledScanLeavesTheHeldImageAndReCopyAsTheyWere) {
    Start();
    Choose(0, 2);  // 150 dpi
    const std::string first = PrintWith(kCopyButton);
    ASSERT_FALSE(first.empty()) << LogText();
    const wintest::PrintBox original = Measure(first);

    WriteSettings("Transfers=cancel\n");
    Choose(1, 2);  // 300 dpi
    ASSERT_TRUE(NothingPrintedBy(kCopyButton));
    EXPECT_GE(LogIndex("IMAGE/IMAGENATIVEXFER/GET image=1 2475x3504x8 -> CANCEL"), 0) << LogText();
    EXPECT_EQ(WaitForMessageBox(copier.Id(), 500), nullptr);
    EXPECT_TRUE(copier.Enabled(kRecopyButton));

    const std::string again = PrintWith(kRecopyButton);
    ASSERT_FALSE(again.empty());
    const wintest::PrintBox reprinted = Measure(again);
    EXPECT_NEAR(reprinted.width, original.width, kToleranceMm);
    EXPECT_NEAR(reprinted.height, original.height, kToleranceMm);
    EXPECT_TRUE(copier.Exit());
}

// A driver that hands over a block which is no readable bitmap: the copier
// says so, prints nothing and keeps the image it held.
TEST_F(CopyE2E, UnusableImagesFromTheDriverAreRefusedAndTheHeldOneKept) {
    Start();
    Choose(2, 1);
    const std::string first = PrintWith(kCopyButton);
    ASSERT_FALSE(first.empty()) << LogText();
    const wintest::PrintBox original = Measure(first);

    for (const char* kind : {"header", "dimensions", "colors", "huge", "tiny"}) {
        SCOPED_TRACE(kind);
        WriteSettings(std::string("CorruptImage=") + kind + "\n");
        const int job = wintest::LastPrintJob();
        copier.Click(kCopyButton);
        HWND box = WaitForMessageBox(copier.Id(), 30000);
        ASSERT_NE(box, nullptr) << LogText();
        EXPECT_EQ(wintest::MessageBoxText(box), texts::kImageUnusable);
        EXPECT_EQ(wintest::WindowText(box), "Kopiwa");
        if (std::string(kind) == "header") wintest::Screenshot("unusable_image_message", box);
        ASSERT_TRUE(AnswerMessageBox(box));
        ASSERT_TRUE(WaitReady());
        EXPECT_EQ(wintest::LastPrintJob(), job) << "nothing printed";
        EXPECT_TRUE(copier.Enabled(kRecopyButton));
        EXPECT_TRUE(copier.Process().Running());
    }
    // No image at all is no image: nothing to say.
    WriteSettings("CorruptImage=null\n");
    ASSERT_TRUE(NothingPrintedBy(kCopyButton));
    EXPECT_EQ(WaitForMessageBox(copier.Id(), 1000), nullptr);
    EXPECT_EQ(LogLinesStartingWith("# delivering").size(), 6u) << LogText();

    const std::string again = PrintWith(kRecopyButton);
    ASSERT_FALSE(again.empty());
    const wintest::PrintBox reprinted = Measure(again);
    EXPECT_NEAR(reprinted.width, original.width, kToleranceMm) << "the first image, as it was";
    EXPECT_NEAR(reprinted.height, original.height, kToleranceMm);
    EXPECT_TRUE(copier.Exit());
}

// Text of a window as the window manager holds it: readable while the
// program that owns the window is held still.
std::string StoredText(HWND window) {
    WCHAR text[256] = {};
    InternalGetWindowText(window, text, 256);
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

// The copier's one thread, held still while it lives.
class HeldThread {
public:
    explicit HeldThread(HWND window)
        : thread_(OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(window, nullptr))) {
        if (thread_) SuspendThread(thread_);
    }
    ~HeldThread() {
        if (!thread_) return;
        ResumeThread(thread_);
        CloseHandle(thread_);
    }
    HeldThread(const HeldThread&) = delete;
    HeldThread& operator=(const HeldThread&) = delete;
    bool Held() const { return thread_ != nullptr; }

private:
    HANDLE thread_;
};

// The progress dialog while a large colour page is sent; Cancel ends the job
// without a page and without a message. A page takes the copier about a third
// of a second, so the test holds the copier still as soon as the dialog shows,
// looks at it, and posts the click that the copier finds when it goes on.
TEST_F(CopyE2E, CancelInTheProgressDialogAbortsTheJobSilently) {
    InstallScanner("Resolution=enumeration 300\n");
    wintest::FakeHelpEngine help;
    Start();
    Choose(0, 2);
    const std::set<std::string> before = wintest::PdfFiles();
    const int job = wintest::LastPrintJob();
    copier.Click(kCopyButton);
    HWND progress = nullptr;
    const DWORD start = GetTickCount();
    while (!progress && GetTickCount() - start < 60000) {
        for (HWND window : wintest::TopWindowsOf(copier.Id()))
            if (window != copier.Dialog() && IsWindowVisible(window) && GetDlgItem(window, IDCANCEL) &&
                GetDlgItem(window, 1026))
                progress = window;
        if (!progress) Sleep(1);
    }
    ASSERT_NE(progress, nullptr) << LogText();
    {
        HeldThread held(progress);
        ASSERT_TRUE(held.Held());
        ASSERT_TRUE(IsWindow(progress)) << "the page was done before the copier could be held";
        EXPECT_EQ(StoredText(progress), "Kopiwa");
        EXPECT_EQ(StoredText(GetDlgItem(progress, 1025)), "ｺﾋﾟｰｲﾒｰｼﾞ");
        EXPECT_EQ(StoredText(GetDlgItem(progress, 1026)), wintest::TestPrinter());
        EXPECT_EQ(StoredText(GetDlgItem(progress, 1027)).find(" へ出力中"), StoredText(GetDlgItem(progress, 1027)).size() - 9);
        EXPECT_EQ(StoredText(GetDlgItem(progress, 1028)), "");
        EXPECT_FALSE(IsWindowEnabled(copier.Dialog())) << "the copy dialog waits";
        // Help (never disabled) makes the copier wait for this thread's help
        // window inside its next turn of the message loop, which has put the
        // progress dialog on the screen by then.
        PostMessageA(copier.Dialog(), WM_COMMAND, 1030, 0);
        wintest::PostClick(progress, IDCANCEL);
    }
    Sleep(1000);
    wintest::Screenshot("print_progress_dialog");
    ASSERT_TRUE(wintest::WaitForWindowGone(progress, 60000));
    EXPECT_EQ(WaitForMessageBox(copier.Id(), 1000), nullptr) << "no message";
    ASSERT_TRUE(WaitReady());
    EXPECT_TRUE(IsWindowEnabled(copier.Dialog()));
    EXPECT_EQ(wintest::LastPrintJob(), job) << "no document reached the printer";
    EXPECT_TRUE(wintest::WaitForNewPdf(before, 5000).empty()) << "the job was aborted";
    EXPECT_TRUE(copier.Enabled(kRecopyButton)) << "the image is held all the same";
    EXPECT_TRUE(copier.Exit());
}

// The PDF printer asked for 600 dpi through the stored printer selection:
// the copier scans at twice the resolution and prints the same size.
TEST_F(CopyE2E, APrinterAt600DpiPrintsTheSamePhysicalSize) {
    std::vector<BYTE> devMode = PdfDevMode(false);
    ASSERT_GE(devMode.size(), sizeof(DEVMODEA) - 40);
    auto* mode = reinterpret_cast<DEVMODEA*>(devMode.data());
    mode->dmPrintQuality = 600;
    mode->dmYResolution = 600;
    mode->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
    const PrinterCaps fine = CapsOfPdfPrinter(mode);
    ASSERT_EQ(fine.dpiX, 600) << "Wine's PostScript driver takes the resolution from the DEVMODE";
    ASSERT_EQ(fine.dpiY, 600);
    const std::vector<BYTE> devNames = DevNamesBlock(wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), 0);
    WriteDword(kPrinterKey, "LenDevNames", static_cast<LONG>(devNames.size()));
    WriteBinary(kPrinterKey, "DevNames", devNames);
    WriteDword(kPrinterKey, "LenDevMode", static_cast<LONG>(devMode.size()));
    WriteBinary(kPrinterKey, "DevMode", devMode);

    Start();
    Choose(0, 2);  // 23622 / 2 dots per metre: 300 dpi (150 on the 300 dpi printer)
    const std::string pdf = PrintWith(kCopyButton);
    ASSERT_FALSE(pdf.empty()) << LogText();
    EXPECT_EQ(SetValues("ICAP_XRESOLUTION"), std::vector<double>{300});
    const std::vector<double> frame = SetValues("ICAP_FRAMES");
    ASSERT_EQ(frame.size(), 4u);
    EXPECT_NEAR(frame[2], std::trunc(fine.horzRes * 72.0 / 600) / 72, 1e-3);
    const Transfer image = LastTransfer();
    wintest::PrintBox box = wintest::MeasurePdf(pdf, 600);
    ASSERT_TRUE(box.ok);
    EXPECT_NEAR(box.left, DotsToMm(fine.offsetX, 600), kToleranceMm);
    EXPECT_NEAR(box.top, DotsToMm(fine.offsetY, 600), kToleranceMm);
    ExpectTrueSize(box, image, 100);
    std::printf("[ measured ] 600 dpi printer (printable %dx%d): %ldx%ld at %g dpi, printed %.3f x %.3f mm, "
                "expected %.3f x %.3f\n",
                fine.horzRes, fine.vertRes, image.width, image.height, image.dpi, box.width, box.height,
                PrintedMm(image.width, image.dpi, 100), PrintedMm(image.height, image.dpi, 100));
    EXPECT_TRUE(copier.Exit());
}

// The virtual scanner refuses images over 64 MB unless told otherwise.
const char kLargestImages[] = "MaxImageBytes=200000000\n";

// What a printer's setup asks of the copy: the queue, and the resolution its
// DEVMODE asks for (0: the queue as it is, nothing stored).
struct PrinterChoice {
    std::string queue;
    int dpi;
};

// One copy, measured from the click to the finished PDF: the image, the
// copier's own memory (the counted copy of the program), the process's, the
// time and the bytes spooled.
struct CopyCost {
    std::string pdf;
    Transfer image;
    double imageBytes = 0;
    double ownPeak = 0;    // the copier's own global and heap memory at most; the image is the scanner's
    double printGrowth = 0;  // the process's peak working set while it prints, over that as printing began
    double scanShare = 0;  // what a scan alone raised that peak by
    double toPdfMs = 0;
    long long spoolBytes = -1;
};

double MB(double bytes) { return bytes / 1048576; }

class MeasuredCopy : public CopyE2E {
protected:
    // Stores the printer selection that `printer` asks for; false when its
    // driver does not give that resolution.
    bool ChoosePrinter(const PrinterChoice& printer) {
        if (printer.dpi == 0) return true;
        std::vector<BYTE> devMode = PdfDevMode(false, printer.queue);
        if (devMode.size() < sizeof(DEVMODEA) - 40) return false;
        auto* mode = reinterpret_cast<DEVMODEA*>(devMode.data());
        mode->dmPrintQuality = static_cast<short>(printer.dpi);
        mode->dmYResolution = static_cast<short>(printer.dpi);
        mode->dmFields |= DM_PRINTQUALITY | DM_YRESOLUTION;
        HDC dc = CreateDCA("WINSPOOL", printer.queue.c_str(), nullptr, mode);
        const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
        if (dc) DeleteDC(dc);
        const std::vector<BYTE> devNames = DevNamesBlock(printer.queue.c_str(), ("CUPS:" + printer.queue).c_str(), 0);
        WriteDword(kPrinterKey, "LenDevNames", static_cast<LONG>(devNames.size()));
        WriteBinary(kPrinterKey, "DevNames", devNames);
        WriteDword(kPrinterKey, "LenDevMode", static_cast<LONG>(devMode.size()));
        WriteBinary(kPrinterKey, "DevMode", devMode);
        return dpi == printer.dpi;
    }

    // Once the image is in and the progress dialog shows, the copier is held
    // still while the process's peak resident memory starts again from what
    // it holds (Linux keeps the peak, and Wine reports it as the peak working
    // set): from then on the peak is the printing's, the scan's is gone.
    bool ResetPeakAsPrintingBegins(double* base) {
        HWND progress = nullptr;
        const DWORD start = GetTickCount();
        while (!progress && GetTickCount() - start < 300000) {
            for (HWND window : wintest::TopWindowsOf(copier.Id()))
                if (window != copier.Dialog() && IsWindowVisible(window) && GetDlgItem(window, 1026))
                    progress = window;
            if (!progress) Sleep(1);
        }
        if (!progress) return false;
        HeldThread held(progress);
        // The copier's Unix process: the one of this test's run (the other
        // flavour's may run beside it), known by the environment it inherited.
        const wintest::UnixResult reset = wintest::RunUnix(
            "for p in $(pgrep -f kopiwa_counted.exe); do tr '\\0' '\\n' </proc/$p/environ | grep -qxF "
            "'KOPIWA_ARTIFACT_DIR=" + wintest::UnixArtifactDir() +
            "' && echo 5 >/proc/$p/clear_refs && echo $p; done; true");
        *base = static_cast<double>(WorkingSet(copier, false));
        return held.Held() && reset.finished && reset.status == 0 && !reset.output.empty();
    }

    static SIZE_T WorkingSet(Copier& c, bool peak) {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (!GetProcessMemoryInfo(c.Process().Handle(), &counters, sizeof counters)) return 0;
        return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
    }
    void Choose(Copier& c, int mode, int speed, int scale) {
        c.Click(kModeButtons[mode]);
        c.Click(kSpeedButtons[speed]);
        c.SetText(kScaleEdit, std::to_string(scale));
        ASSERT_TRUE(PumpUntil([&] { return c.Checked(kModeButtons[mode]) && c.Checked(kSpeedButtons[speed]); }));
    }

    // A copy with the scanner's `settings`: first, in a copier of its own, a
    // scan alone (an image that the copier refuses is drawn by the scanner,
    // handed over and freed, and nothing is printed), whose raise of the peak
    // is the scan's share; then the copy itself.
    void Measure(const std::string& settings, const PrinterChoice& printer, int mode, int speed, int scale,
                 CopyCost* cost) {
        ASSERT_TRUE(ChoosePrinter(printer)) << printer.queue << " at " << printer.dpi << " dpi";
        InstallScanner(settings + "CorruptImage=header\n");
        {
            Copier first;
            ASSERT_TRUE(first.Start(CountedProgramPath()));
            ASSERT_TRUE(PumpUntil([&] { return first.Text(kStatusLine) == texts::kReady; }));
            Choose(first, mode, speed, scale);
            const double before = static_cast<double>(WorkingSet(first, false));
            first.Click(kCopyButton);
            HWND refusal = WaitForMessageBox(first.Id(), 300000);
            ASSERT_NE(refusal, nullptr);
            ASSERT_TRUE(AnswerMessageBox(refusal));
            cost->scanShare = static_cast<double>(WorkingSet(first, true)) - before;
            ASSERT_TRUE(first.Exit());
        }
        WriteSettings(settings);
        ASSERT_TRUE(copier.Start(CountedProgramPath()));
        ASSERT_TRUE(WaitReady());
        Choose(copier, mode, speed, scale);
        MemoryCounterView own(copier.Id());
        ASSERT_TRUE(own.Ok()) << "the counted copier's figures";
        own.ResetPeak();
        const long long ownBefore = own.Current();

        const std::string queue = printer.dpi ? printer.queue : wintest::TestPrinter();
        const std::set<std::string> before = wintest::PdfFiles();
        const int job = wintest::LastPrintJob(queue);
        LARGE_INTEGER frequency, clicked, arrived;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&clicked);
        copier.Click(kCopyButton);
        double printBase = 0;
        ASSERT_TRUE(ResetPeakAsPrintingBegins(&printBase)) << "the progress dialog, and the process's peak reset";
        cost->pdf = wintest::WaitForNewPdf(before, 900000);
        QueryPerformanceCounter(&arrived);
        ASSERT_FALSE(cost->pdf.empty()) << LogText();
        ASSERT_TRUE(WaitReady()) << "no message on the way";
        cost->toPdfMs = static_cast<double>(arrived.QuadPart - clicked.QuadPart) * 1000.0 / frequency.QuadPart;
        cost->printGrowth = static_cast<double>(WorkingSet(copier, true)) - printBase;
        cost->ownPeak = static_cast<double>(own.Peak() - ownBefore);
        cost->image = LastTransfer();
        cost->imageBytes =
            40.0 + (cost->image.bits <= 8 ? 4.0 * (1 << cost->image.bits) : 0) +
            static_cast<double>((cost->image.width * cost->image.bits + 31) / 32 * 4) * cost->image.height;
        const int spooled = wintest::LastPrintJob(queue);
        if (spooled > job) cost->spoolBytes = wintest::PrintJobBytes(queue, spooled);
    }

    static void Report(const char* what, const CopyCost& c) {
        std::printf("[ measured ] %s: image %ldx%ldx%d %.1f MB; copier's own peak %.3f MB; printing adds %.1f MB "
                    "to the process (the held image and that: %.2f x image); a scan alone %.1f MB (%.2f x image); "
                    "click to PDF %.0f ms; spooled %lld KB\n",
                    what, c.image.width, c.image.height, c.image.bits, MB(c.imageBytes), MB(c.ownPeak),
                    MB(c.printGrowth), (c.imageBytes + c.printGrowth) / c.imageBytes, MB(c.scanShare),
                    c.scanShare / c.imageBytes, c.toPdfMs, c.spoolBytes / 1024);
    }
};

// An A4 colour copy at 300 dpi (a scanner that offers only 300 dpi): the
// copier holds the image once, and printing adds little to it.
TEST_F(MeasuredCopy, AnA4ColourCopyAt300DpiKeepsOneCopyOfTheImage) {
    CopyCost cost;
    Measure("Resolution=enumeration 300\n", {"", 0}, 0, 2, 100, &cost);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(cost.image.width, 2475);
    ASSERT_EQ(cost.image.height, 3504);
    Report("A4 colour at 300 dpi", cost);
    ExpectBandsUnseen(cost.pdf, cost.image);
    // The image and what the printer driver makes of the bands it is given
    // one at a time; a second copy of the image anywhere in the process, or
    // the whole page handed to the driver at once, costs another whole image
    // and more.
    EXPECT_LT(cost.imageBytes + cost.printGrowth, 1.3 * cost.imageBytes);
    EXPECT_LT(cost.ownPeak, 0.05 * cost.imageBytes) << "the copier's own memory";
    EXPECT_GT(cost.spoolBytes, 0) << "the page went through the queue";
    EXPECT_TRUE(copier.Exit());
}

// The largest page the copier is asked for: grey at normal speed on a
// 1,200-dpi printer, a 130 MB image, prints at its size in both flavours.
TEST_F(MeasuredCopy, AnA4GreyCopyAt1200DpiPrintsAtItsSize) {
    const std::string fine = wintest::FinePrinter();
    ASSERT_FALSE(fine.empty()) << "the build tree's 1,200-dpi queue";
    CopyCost cost;
    Measure(kLargestImages, {fine, 1200}, 1, 2, 100, &cost);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(cost.image.bits, 8);
    EXPECT_EQ(cost.image.dpi, 1200);
    Report("A4 grey at 1,200 dpi", cost);
    const wintest::PrintBox box = wintest::MeasurePdf(cost.pdf, 150);
    ASSERT_TRUE(box.ok && !box.empty) << cost.pdf;
    // A rendering at 150 dpi: one rendered pixel is 0.17 mm.
    EXPECT_NEAR(box.width, PrintedMm(cost.image.width, cost.image.dpi, 100), 0.4);
    EXPECT_NEAR(box.height, PrintedMm(cost.image.height, cost.image.dpi, 100), 0.4);
    EXPECT_TRUE(copier.Exit());
}

// Not a test: `make bench` runs it (tools/bench.sh) and reads its table. A
// fixed set of copies through the virtual scanner and the PDF queues.
TEST_F(MeasuredCopy, DISABLED_Benchmark) {
    struct Row {
        const char* name;
        int mode, speed, scale, dpi;  // printer dpi; 300 is the queue as it is
    };
    const Row rows[] = {
        {"A4 colour, 300-dpi printer", 0, 2, 100, 300}, {"A4 grey, 300-dpi printer", 1, 2, 100, 300},
        {"A4 colour, 600-dpi printer", 0, 2, 100, 600}, {"A4 grey, 600-dpi printer", 1, 2, 100, 600},
        {"400 % colour, 300-dpi printer", 0, 2, 400, 300}, {"A4 grey, 1,200-dpi queue", 1, 2, 100, 1200},
    };
    std::vector<std::string> table;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DeleteCopierKeys();
        const PrinterChoice printer = row.dpi == 300 ? PrinterChoice{"", 0}
                                      : row.dpi == 1200 ? PrinterChoice{wintest::FinePrinter(), 1200}
                                                        : PrinterChoice{wintest::TestPrinter(), row.dpi};
        CopyCost cost;
        Measure(kLargestImages, printer, row.mode, row.speed, row.scale, &cost);
        if (copier.Process().Running()) {
            EXPECT_TRUE(copier.Exit());
        }
        if (HasFatalFailure()) return;
        Report(row.name, cost);
        char line[512];
        std::snprintf(line, sizeof line,
                      "| %-30s | %5ldx%-5ld %2d | %6.1f | %8.1f | %6.3f | %7.1f (%.2fx) | %7.1f | %8lld |", row.name,
                      cost.image.width, cost.image.height, cost.image.bits, MB(cost.imageBytes),
                      cost.toPdfMs / 1000, MB(cost.ownPeak), MB(cost.printGrowth),
                      (cost.imageBytes + cost.printGrowth) / cost.imageBytes, MB(cost.scanShare),
                      cost.spoolBytes / 1024);
        table.push_back(line);
    }
    std::printf("[ bench ] | %-30s | %-15s | %-6s | %-8s | %-6s | %-15s | %-7s | %-8s |\n", "copy", "image",
                "MB", "to PDF s", "own MB", "print adds MB", "scan MB", "spool KB");
    for (const std::string& line : table) std::printf("[ bench ] %s\n", line.c_str());
}
}  // namespace
