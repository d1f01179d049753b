// The copy dialog's own painting: the strips of the gradient title bar, and
// Kopiwa.exe's title bar, tiled background and icon read back from the screen
// under the Windows versions Wine can report.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "copier_texts.h"
#include "copy_dialog_paint.h"
#include "kopiwa_driver.h"

using namespace kopiwa;

namespace {

// ---------------------------------------------------------------------------
// The arithmetic of the gradient.

TEST(CaptionStrips, PureRedRunsFromBlackToRedInFortyEightSteps) {
    const COLORREF red = RGB(255, 0, 0);
    EXPECT_EQ(CaptionStripColor(red, 0), RGB(0, 0, 0));
    EXPECT_EQ(CaptionStripColor(red, 1), RGB(5, 0, 0));
    EXPECT_EQ(CaptionStripColor(red, 2), RGB(10, 0, 0));
    EXPECT_EQ(CaptionStripColor(red, 46), RGB(249, 0, 0));
    EXPECT_EQ(CaptionStripColor(red, 47), red) << "meets the system's part without a seam";
    for (int n = 1; n < kCaptionStrips; ++n)
        EXPECT_GT(GetRValue(CaptionStripColor(red, n)), GetRValue(CaptionStripColor(red, n - 1))) << n;
}

TEST(CaptionStrips, EachChannelScalesOnItsOwn) {
    const COLORREF navy = RGB(10, 36, 106);  // the Windows 98 caption blue
    EXPECT_EQ(CaptionStripColor(navy, 47), navy);
    EXPECT_EQ(CaptionStripColor(navy, 24), RGB(10 * 24 / 47, 36 * 24 / 47, 106 * 24 / 47));
    EXPECT_EQ(CaptionStripColor(RGB(255, 255, 255), 0), RGB(0, 0, 0));
}

TEST(CaptionStrips, TheStripsCoverTheBandWithoutGapsOrOverlaps) {
    for (int width : {48, 100, 301, 337, 1000}) {
        int previousRight = 0, narrowest = width, widest = 0;
        for (int n = 0; n < kCaptionStrips; ++n) {
            int left = -1, right = -1;
            CaptionStripExtent(n, width, &left, &right);
            EXPECT_EQ(left, previousRight) << width << " strip " << n;
            previousRight = right;
            narrowest = std::min(narrowest, right - left);
            widest = std::max(widest, right - left);
        }
        EXPECT_EQ(previousRight, width) << "the last strip ends at the band's right";
        EXPECT_LE(widest - narrowest, 1) << width;
    }
    // Narrower than 48 pixels: some strips are empty, none goes backwards.
    int left = 0, right = 0;
    CaptionStripExtent(0, 20, &left, &right);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 0);
    CaptionStripExtent(47, 20, &left, &right);
    EXPECT_EQ(right, 20);
}

TEST(CaptionStrips, TheBandLeavesTheFrameAndEightButtonsAlone) {
    const int edgeX = GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXBORDER);
    const int edgeY = GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYBORDER);
    const RECT band = CaptionBand(500);
    EXPECT_EQ(band.left, edgeX);
    EXPECT_EQ(band.top, edgeY);
    EXPECT_EQ(500 - band.right, 8 * GetSystemMetrics(SM_CXSIZE) + edgeX);
    EXPECT_EQ(band.bottom - band.top, GetSystemMetrics(SM_CYCAPTION) - 1);
    // A window narrower than the buttons has no band to paint.
    const RECT narrow = CaptionBand(8 * GetSystemMetrics(SM_CXSIZE));
    EXPECT_LE(narrow.right - narrow.left, 0);
}

// ---------------------------------------------------------------------------
// Kopiwa.exe on the screen.

void SetColor(const char* name, const char* value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), lstrlenA(value) + 1);
    RegCloseKey(key);
}

std::string Hex(COLORREF c) {
    char text[16];
    wsprintfA(text, "%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

const char* const kChangedColors[] = {"ActiveTitle", "InactiveTitle", "GradientActiveTitle",
                                      "GradientInactiveTitle", "ButtonFace", "ButtonShadow",
                                      "ButtonHilight", "ButtonText"};

// Active title bars pure red, inactive ones pure blue.
void SetCaptionColorsRedAndBlue() {
    SetColor("ActiveTitle", "255 0 0");
    SetColor("GradientActiveTitle", "255 0 0");
    SetColor("InactiveTitle", "0 0 255");
    SetColor("GradientInactiveTitle", "0 0 255");
}

// The colours as the prefix had them, put back for programs started later
// (Wine's built-in defaults, which a deleted value falls back to, differ).
class SavedColors {
public:
    SavedColors() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        for (const char* name : kChangedColors) {
            char value[64] = "";
            DWORD size = sizeof value - 1;
            DWORD type = 0;
            if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
                type == REG_SZ)
                saved_.push_back({name, value});
        }
        RegCloseKey(key);
    }
    ~SavedColors() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Colors", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
        for (const char* name : kChangedColors) RegDeleteValueA(key, name);
        for (const auto& entry : saved_)
            RegSetValueExA(key, entry.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.second.c_str()),
                           static_cast<DWORD>(entry.second.size() + 1));
        RegCloseKey(key);
    }
    SavedColors(const SavedColors&) = delete;
    SavedColors& operator=(const SavedColors&) = delete;

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

class Painting : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteCopierKeys();
        colors.reset(new SavedColors);
    }
    void TearDown() override {
        if (copier && copier->Process().Running()) copier->Process().Kill();
        colors.reset();
        wintest::SetReportedWindowsVersion("Kopiwa.exe", "");
        DeleteCopierKeys();
    }
    // Starts the copier as `version` reports itself and lets it paint.
    void StartAs(const std::string& version) {
        ASSERT_TRUE(wintest::SetReportedWindowsVersion("Kopiwa.exe", version));
        copier.reset(new Copier);
        ASSERT_TRUE(copier->Start());
        ASSERT_TRUE(PumpUntil([&] { return copier->Text(1024) == texts::kReady; }, 10000));
        SetActive(true);
    }
    // Under Xvfb without a window manager no window of another process comes
    // to the front; the dialog is told it is active (or not) the way the
    // system tells it, and repaints its frame.
    void SetActive(bool active) {
        PostMessageA(copier->Dialog(), WM_NCACTIVATE, active ? TRUE : FALSE, 0);
        SendMessageA(copier->Dialog(), WM_NULL, 0, 0);
        Sleep(300);
    }
    // Ends the copier without its settings: Wine's print dialog, which the
    // copier asks for the default printer as it ends, fails on the Windows 9x
    // versions Wine imitates, which is beside the point here.
    void Stop() {
        copier->Process().Kill();
        ASSERT_TRUE(copier->WaitForExit());
        copier.reset();
    }

    // One row of the painted band, on the screen: the row without icon.
    struct BandRow {
        bool ok = false;
        int width = 0;
        std::vector<COLORREF> pixels;
    };
    BandRow ReadBandRow() {
        BandRow row;
        const RECT window = WindowRect(copier->Dialog());
        const RECT band = CaptionBand(window.right - window.left);
        row.width = band.right - band.left;
        const int height = band.bottom - band.top;
        const int iconTop = (GetSystemMetrics(SM_CYCAPTION) - GetSystemMetrics(SM_CYSMICON)) / 2;
        const int y = iconTop > 0 ? 0 : height - 1;  // the title's text is centred: not in either row
        const RECT area = {window.left + band.left, window.top + band.top + y,
                           window.left + band.left + row.width, window.top + band.top + y + 1};
        const wintest::ScreenPixels pixels = wintest::CaptureScreen(area);
        if (!pixels.ok || row.width <= 0) return row;
        for (int x = 0; x < row.width; ++x) row.pixels.push_back(pixels.At(x, 0));
        row.ok = true;
        return row;
    }

    // Strip n of the band is n / 47 of the caption colour, at every pixel.
    void ExpectGradientTo(int red, int green, int blue) {
        const BandRow row = ReadBandRow();
        ASSERT_TRUE(row.ok);
        ASSERT_GE(row.width, kCaptionStrips);
        for (int n = 0; n < kCaptionStrips; ++n) {
            int left = 0, right = 0;
            CaptionStripExtent(n, row.width, &left, &right);
            const COLORREF expected = RGB(red * n / 47, green * n / 47, blue * n / 47);
            for (int x = left; x < right; ++x)
                ASSERT_EQ(Hex(row.pixels[x]), Hex(expected)) << "strip " << n << " x " << x;
        }
    }

    // The tile repeats every 48 pixels from the client area's top-left down
    // to the separator, in the four button colours given; below it the plain
    // button face.
    void ExpectTiledBackground(COLORREF face, COLORREF shadow, COLORREF highlight, COLORREF text) {
        HWND dialog = copier->Dialog();
        RECT client;
        GetClientRect(dialog, &client);
        POINT origin = {0, 0};
        ClientToScreen(dialog, &origin);
        const RECT screen = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
        const wintest::ScreenPixels pixels = wintest::CaptureScreen(screen);
        ASSERT_TRUE(pixels.ok);

        // Pixels that no control covers (group boxes are frames: only their edges
        // and captions are theirs).
        std::vector<RECT> covered;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT r = WindowRect(child);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
            InflateRect(&r, 1, 1);
            const LONG style = GetWindowLongA(child, GWL_STYLE);
            if (wintest::ClassName(child) == "Button" && (style & 0x0F) == BS_GROUPBOX) {
                const int frame = 18;  // the caption, on its button-face background
                covered.push_back(RECT{r.left, r.top, r.right, r.top + frame});
                covered.push_back(RECT{r.left, r.bottom - 3, r.right, r.bottom});
                covered.push_back(RECT{r.left, r.top, r.left + 3, r.bottom});
                covered.push_back(RECT{r.right - 3, r.top, r.right, r.bottom});
            } else {
                covered.push_back(r);
            }
        }
        auto free = [&](int x, int y) {
            const POINT p = {x, y};
            for (const RECT& r : covered)
                if (PtInRect(&r, p)) return false;
            return true;
        };
        RECT line = WindowRect(GetDlgItem(dialog, 1033));
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&line), 2);
        ASSERT_GT(line.top, 48);

        const std::set<COLORREF> buttonColours = {face, shadow, highlight, text};
        std::set<COLORREF> seen;
        int compared = 0, different = 0;
        for (int y = 0; y < line.top; ++y)
            for (int x = 0; x < client.right; ++x) {
                if (!free(x, y)) continue;
                seen.insert(pixels.At(x, y));
                if (x + 48 < client.right && free(x + 48, y)) {
                    ++compared;
                    different += pixels.At(x, y) != pixels.At(x + 48, y);
                }
                if (y + 48 < line.top && free(x, y + 48)) {
                    ++compared;
                    different += pixels.At(x, y) != pixels.At(x, y + 48);
                }
            }
        EXPECT_GT(compared, 5000);
        EXPECT_EQ(different, 0) << "of " << compared << " pixel pairs 48 apart";
        for (COLORREF c : seen) EXPECT_TRUE(buttonColours.count(c)) << Hex(c) << " is no button colour";
        EXPECT_GE(seen.size(), 3u) << "face, and the line's light and dark sides";
        EXPECT_TRUE(seen.count(face) && seen.count(shadow) && seen.count(highlight));
        // The tile starts at the client's top-left corner: the same as the
        // bitmap's own first row, wherever the dialog sits.
        const COLORREF corner = pixels.At(0, 0);
        EXPECT_TRUE(buttonColours.count(corner));

        int plain = 0;
        for (int y = line.bottom + 1; y < client.bottom; ++y)
            for (int x = 0; x < client.right; ++x)
                if (free(x, y)) {
                    ++plain;
                    EXPECT_EQ(Hex(pixels.At(x, y)), Hex(face)) << x << "," << y;
                    if (::testing::Test::HasFailure()) return;
                }
        EXPECT_GT(plain, 20);
    }

    std::unique_ptr<Copier> copier;
    std::unique_ptr<SavedColors> colors;
};

// Windows 95 and NT 4.0 have flat title bars: the copier paints the gradient
// from black to the caption colour (pure red here) in 48 strips.
TEST_F(Painting, OnWindows95AndNt40TheTitleBarRunsFromBlackToTheCaptionColour) {
    ASSERT_NO_FATAL_FAILURE(StartAs("win95"));
    wintest::Screenshot("copy_dialog_win95", copier->Dialog());
    ASSERT_NO_FATAL_FAILURE(Stop());
    SetCaptionColorsRedAndBlue();
    for (const char* version : {"win95", "nt40"}) {
        SCOPED_TRACE(version);
        ASSERT_NO_FATAL_FAILURE(StartAs(version));
        ExpectGradientTo(255, 0, 0);
        wintest::Screenshot(std::string("red_caption_") + version, copier->Dialog());
        SetActive(false);
        ExpectGradientTo(0, 0, 255);
        ASSERT_NO_FATAL_FAILURE(Stop());
    }
}

// Windows 98 and 2000 draw their own title bars; the copier leaves them be.
TEST_F(Painting, OnWindows98And2000TheTitleBarIsTheSystems) {
    SetCaptionColorsRedAndBlue();
    for (const char* version : {"win98", "win2k"}) {
        SCOPED_TRACE(version);
        ASSERT_NO_FATAL_FAILURE(StartAs(version));
        const BandRow row = ReadBandRow();
        ASSERT_TRUE(row.ok);
        int left = 0, right = 0;
        CaptionStripExtent(0, row.width, &left, &right);
        EXPECT_EQ(Hex(row.pixels[left]), "FF0000") << "no black at the left: no gradient";
        int red = 0;
        for (COLORREF c : row.pixels) red += c == RGB(255, 0, 0);
        EXPECT_EQ(red, row.width) << "the whole row is the caption colour";
        ASSERT_NO_FATAL_FAILURE(Stop());
    }
}

// The tile repeats every 48 pixels from the client area's top-left down to
// the separator, in the four button colours; below it the plain button face.
// The tile follows the system's button colours, which the copier maps the
// bitmap's greys to; so it changes when they do.
TEST_F(Painting, TheBackgroundIsTiledAboveTheSeparatorAndPlainBelow) {
    ASSERT_NO_FATAL_FAILURE(StartAs(""));
    wintest::Screenshot("copy_dialog", copier->Dialog());
    ExpectTiledBackground(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT),
                          GetSysColor(COLOR_BTNTEXT));
    ASSERT_NO_FATAL_FAILURE(Stop());
    SetColor("ButtonFace", "250 240 200");
    SetColor("ButtonShadow", "120 60 0");
    SetColor("ButtonHilight", "255 255 240");
    SetColor("ButtonText", "0 0 80");
    ASSERT_NO_FATAL_FAILURE(StartAs(""));
    wintest::Screenshot("copy_dialog_own_colours", copier->Dialog());
    ExpectTiledBackground(RGB(250, 240, 200), RGB(120, 60, 0), RGB(255, 255, 240), RGB(0, 0, 80));
}

// Wine shows a minimised dialog as a bare title bar with no client area, so
// the copier's own drawing of its icon there cannot be seen; what can be is
// that it goes down and comes back whole.
TEST_F(Painting, TheDialogMinimisesAndComesBack) {
    ASSERT_NO_FATAL_FAILURE(StartAs(""));
    HWND dialog = copier->Dialog();
    ShowWindow(dialog, SW_MINIMIZE);
    ASSERT_TRUE(PumpUntil([&] { return IsIconic(dialog) != FALSE; }, 5000));
    Sleep(300);
    wintest::Screenshot("minimised");
    ShowWindow(dialog, SW_RESTORE);
    ASSERT_TRUE(PumpUntil([&] { return !IsIconic(dialog); }, 5000));
    EXPECT_EQ(copier->Text(1024), texts::kReady);
}

}  // namespace
