// Kopiwa.exe from the distribution folder making real copies: the virtual
// scanner installed in the test's Wine prefix as the TWAIN source, the PDF
// queue as the default printer. What the copier asked the scanner for is read
// from the scanner's log, what it printed is measured in the PDF.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "copier_texts.h"
#include "kopiwa_driver.h"
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
    HDC dc = CreateDCA("WINSPOOL", "PDF", nullptr, mode);
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
        copier.Click(button);
        const std::string pdf = wintest::WaitForNewPdf(before, 90000);
        EXPECT_TRUE(WaitReady()) << "back to ready after printing";
        return pdf;
    }
    // Presses `button`; true when the copier is ready again and no page came.
    bool NothingPrintedBy(int button) {
        const std::set<std::string> before = wintest::PdfFiles();
        copier.Click(button);
        // The status goes to scanning or printing at once and back on a tick.
        PumpUntil([&] { return copier.Text(kStatusLine) != texts::kReady; }, 1500);
        if (!WaitReady()) return false;
        return wintest::WaitForNewPdf(before, 3000).empty();
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
        {0, 0, 75, 2, 24},   // colour / 6: 50 dpi, nearer 75 than 100... and 75 is first
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
        std::printf("[ measured ] mode %d speed %d: %ldx%ld at %g dpi, printed %.3f x %.3f mm at (%.3f, %.3f), "
                    "expected %.3f x %.3f\n",
                    c.mode, c.speed, image.width, image.height, c.dpi, box.width, box.height, box.left, box.top,
                    PrintedMm(image.width, image.dpi, 100), PrintedMm(image.height, image.dpi, 100));
    }
    EXPECT_EQ(LogText().find("SEQERROR"), std::string::npos) << LogText();
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
        {50, 8.5, 11.6806, 75},           // page bound 1188 x 1682 pt: the bed (612 x 841) limits
        {200, 297 / 72.0, 420 / 72.0, 300},  // 594 * 100 / 200, 841 * 100 / 200; 11811 * 2 / 2
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

}  // namespace
