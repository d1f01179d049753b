// The printer blocks, the application's printer selection and the print
// settings, against the PDF printer that the test prefix has as its default.
#include <gtest/gtest.h>

#include <windows.h>
#include <cderr.h>
#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

#include "kfw/print.h"
#include "printer_blocks.h"
#include "test_app.h"
#include "wintest.h"

namespace {

HGLOBAL ToGlobal(const std::vector<BYTE>& bytes) {
    HGLOBAL block = GlobalAlloc(GHND, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

HGLOBAL MakeDevNames(const char* device, WORD flags) {
    return ToGlobal(wintest::DevNamesBlock("winspool", device, wintest::TestPrinterPort().c_str(), flags));
}

// The driver's own DEVMODE of the PDF printer, optionally turned to landscape.
HGLOBAL MakeDevMode(bool landscape) {
    std::string printer = wintest::TestPrinter();
    const LONG size = DocumentPropertiesA(nullptr, nullptr, &printer[0], nullptr, nullptr, 0);
    if (size <= 0) return nullptr;
    HGLOBAL block = GlobalAlloc(GHND, size);
    auto* mode = static_cast<DEVMODEA*>(GlobalLock(block));
    DocumentPropertiesA(nullptr, nullptr, &printer[0], mode, nullptr, DM_OUT_BUFFER);
    if (landscape) {
        mode->dmOrientation = DMORIENT_LANDSCAPE;
        mode->dmFields |= DM_ORIENTATION;
    }
    GlobalUnlock(block);
    return block;
}

std::string Device(HGLOBAL devNames) {
    DevNamesText text;
    return ReadDevNames(devNames, &text) ? text.device : "<unreadable>";
}

WORD Flags(HGLOBAL devNames) {
    DevNamesText text{};
    ReadDevNames(devNames, &text);
    return text.flags;
}

class PrinterSelection : public ::testing::Test {
protected:
    void TearDown() override { App().SelectPrinter(nullptr, nullptr); }
};

// Answers DoModal from a script: each entry is the extended error of one call
// (0 = the user cancelled); the handles each call was given are kept.
class ScriptedPrintDialog : public CPrintDialog {
public:
    explicit ScriptedPrintDialog(std::vector<DWORD> script) : CPrintDialog(TRUE), script_(std::move(script)) {}
    INT_PTR DoModal() override {
        given.push_back({m_pd.hDevNames, m_pd.hDevMode});
        const DWORD error = calls_ < script_.size() ? script_[calls_] : 0;
        ++calls_;
        m_dwExtendedError = error;
        return error ? -1 : IDCANCEL;
    }
    std::vector<std::pair<HGLOBAL, HGLOBAL>> given;

private:
    std::vector<DWORD> script_;
    size_t calls_ = 0;
};

}  // namespace

TEST(PrinterBlocks, DevNamesMustLieInsideItsBlock) {
    std::vector<BYTE> good = wintest::DevNamesBlock("winspool", wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), DN_DEFAULTPRN);
    EXPECT_TRUE(DevNamesFitsBlock(good.data(), good.size()));

    std::vector<BYTE> unterminated = good;
    unterminated.pop_back();  // the output name loses its NUL
    EXPECT_FALSE(DevNamesFitsBlock(unterminated.data(), unterminated.size()));

    std::vector<BYTE> outside = good;
    reinterpret_cast<DEVNAMES*>(outside.data())->wDeviceOffset = static_cast<WORD>(outside.size());
    EXPECT_FALSE(DevNamesFitsBlock(outside.data(), outside.size()));
    reinterpret_cast<DEVNAMES*>(outside.data())->wDeviceOffset = 0xFFFF;
    EXPECT_FALSE(DevNamesFitsBlock(outside.data(), outside.size()));

    std::vector<BYTE> intoHeader = good;
    reinterpret_cast<DEVNAMES*>(intoHeader.data())->wDriverOffset = 2;
    EXPECT_FALSE(DevNamesFitsBlock(intoHeader.data(), intoHeader.size()));

    EXPECT_FALSE(DevNamesFitsBlock(good.data(), sizeof(DEVNAMES) - 1));
    EXPECT_FALSE(DevNamesFitsBlock(nullptr, 100));
}

TEST(PrinterBlocks, DevModeMustHoldItsOwnSizes) {
    std::vector<BYTE> block(sizeof(DEVMODEA) + 16);
    auto* mode = reinterpret_cast<DEVMODEA*>(block.data());
    mode->dmSize = sizeof(DEVMODEA);
    mode->dmDriverExtra = 16;
    EXPECT_TRUE(DevModeFitsBlock(block.data(), block.size()));
    EXPECT_TRUE(DevModeFitsBlock(block.data(), block.size() + 100)) << "a block may be larger";
    EXPECT_FALSE(DevModeFitsBlock(block.data(), block.size() - 1)) << "driver part cut off";
    mode->dmDriverExtra = 0xFFFF;
    EXPECT_FALSE(DevModeFitsBlock(block.data(), block.size()));
    mode->dmDriverExtra = 0;
    mode->dmSize = 20;  // smaller than its own size fields
    EXPECT_FALSE(DevModeFitsBlock(block.data(), block.size()));
    mode->dmSize = 60;  // the fields through dmTTOption end at 68
    EXPECT_FALSE(DevModeFitsBlock(block.data(), block.size()));
    mode->dmSize = 68;
    EXPECT_TRUE(DevModeFitsBlock(block.data(), block.size()));
    mode->dmSize = sizeof(DEVMODEA);
    EXPECT_FALSE(DevModeFitsBlock(block.data(), 30));
    EXPECT_FALSE(DevModeFitsBlock(block.data(), 67)) << "too short to hold even the smallest";
}

TEST(PrinterBlocks, UnreadableDevNamesGiveNoNames) {
    HGLOBAL cut = ToGlobal(std::vector<BYTE>(6, 0));
    DevNamesText text;
    EXPECT_FALSE(ReadDevNames(cut, &text));
    EXPECT_FALSE(ReadDevNames(nullptr, &text));
    EXPECT_FALSE(DevNamesFits(cut));
    GlobalFree(cut);
}

TEST_F(PrinterSelection, WithoutASelectionTheDefaultPrinterIsTaken) {
    App().SelectPrinter(nullptr, MakeDevMode(false));
    App().UpdatePrinterSelection(FALSE);
    ASSERT_NE(App().GetDevNames(), nullptr);
    EXPECT_EQ(Device(App().GetDevNames()), wintest::TestPrinter());
    EXPECT_TRUE(Flags(App().GetDevNames()) & DN_DEFAULTPRN);
    EXPECT_NE(App().GetDevMode(), nullptr);
}

TEST_F(PrinterSelection, TheDefaultPrinterIsFollowedWhenItChanged) {
    App().SelectPrinter(MakeDevNames("Gone", DN_DEFAULTPRN), MakeDevMode(true));
    App().UpdatePrinterSelection(FALSE);
    EXPECT_EQ(Device(App().GetDevNames()), wintest::TestPrinter());
    auto* mode = static_cast<DEVMODEA*>(GlobalLock(App().GetDevMode()));
    ASSERT_NE(mode, nullptr);
    EXPECT_NE(mode->dmOrientation, DMORIENT_LANDSCAPE) << "the new default's own DEVMODE";
    GlobalUnlock(App().GetDevMode());
}

TEST_F(PrinterSelection, ADefaultThatStillIsTheDefaultIsKept) {
    App().UpdatePrinterSelection(TRUE);
    HGLOBAL names = App().GetDevNames();
    HGLOBAL mode = App().GetDevMode();
    ASSERT_NE(names, nullptr);
    App().UpdatePrinterSelection(FALSE);
    EXPECT_EQ(App().GetDevNames(), names);
    EXPECT_EQ(App().GetDevMode(), mode);
}

TEST_F(PrinterSelection, AChosenPrinterStaysChosen) {
    HGLOBAL names = MakeDevNames("Other", 0);
    App().SelectPrinter(names, nullptr);
    App().UpdatePrinterSelection(FALSE);
    EXPECT_EQ(App().GetDevNames(), names);
    PRINTDLGA lent{};
    ASSERT_TRUE(App().GetPrinterDeviceDefaults(&lent));
    EXPECT_EQ(lent.hDevNames, names) << "lent, not copied";
    EXPECT_EQ(App().GetDevNames(), names) << "and still owned by the application";
}

TEST_F(PrinterSelection, ARefusedSelectionIsDroppedAndTheDialogRunsAgain) {
    for (DWORD refusal : {DWORD(PDERR_PRINTERNOTFOUND), DWORD(PDERR_DNDMMISMATCH), DWORD(PDERR_DEFAULTDIFFERENT)}) {
        HGLOBAL names = MakeDevNames("Other", 0);
        HGLOBAL mode = MakeDevMode(false);
        App().SelectPrinter(names, mode);
        ScriptedPrintDialog dialog({refusal, 0});
        EXPECT_EQ(App().DoPrintDialog(&dialog), IDCANCEL) << refusal;
        ASSERT_EQ(dialog.given.size(), 2u) << refusal;
        EXPECT_EQ(dialog.given[0].first, names);
        EXPECT_EQ(dialog.given[0].second, mode);
        EXPECT_EQ(dialog.given[1].first, nullptr) << "the second run starts without a selection";
        EXPECT_EQ(dialog.given[1].second, nullptr);
        EXPECT_EQ(App().GetDevNames(), nullptr);
        EXPECT_EQ(App().GetDevMode(), nullptr);
    }
}

TEST_F(PrinterSelection, OtherFailuresKeepTheSelectionAndAreNotRetried) {
    HGLOBAL names = MakeDevNames("Other", 0);
    App().SelectPrinter(names, nullptr);
    ScriptedPrintDialog dialog({CDERR_INITIALIZATION});
    EXPECT_EQ(App().DoPrintDialog(&dialog), -1);
    EXPECT_EQ(dialog.given.size(), 1u);
    EXPECT_EQ(App().GetDevNames(), names);
}

TEST_F(PrinterSelection, ARefusalAfterTheRetryEndsTheDialog) {
    App().SelectPrinter(MakeDevNames("Other", 0), nullptr);
    ScriptedPrintDialog dialog({PDERR_PRINTERNOTFOUND, PDERR_PRINTERNOTFOUND, PDERR_PRINTERNOTFOUND});
    EXPECT_EQ(App().DoPrintDialog(&dialog), -1);
    EXPECT_EQ(dialog.given.size(), 2u);
}

TEST_F(PrinterSelection, PrintSettingsGiveADeviceContextForTheSelection) {
    App().SelectPrinter(MakeDevNames(wintest::TestPrinter().c_str(), 0), MakeDevMode(false));
    int portraitWidth = 0, portraitHeight = 0;
    {
        CPrintInfo settings;
        ASSERT_TRUE(settings.PreparePrinting());
        ASSERT_NE(settings.GetPrinterDC(), nullptr);
        EXPECT_GT(GetDeviceCaps(settings.GetPrinterDC(), LOGPIXELSX), 0);
        portraitWidth = GetDeviceCaps(settings.GetPrinterDC(), HORZRES);
        portraitHeight = GetDeviceCaps(settings.GetPrinterDC(), VERTRES);
        EXPECT_LT(portraitWidth, portraitHeight);
        DevNamesText text;
        ASSERT_TRUE(settings.GetDevNamesText(&text));
        EXPECT_STREQ(text.device, wintest::TestPrinter().c_str());
        EXPECT_STREQ(text.output, wintest::TestPrinterPort().c_str());
    }
    App().SelectPrinter(MakeDevNames(wintest::TestPrinter().c_str(), 0), MakeDevMode(true));
    CPrintInfo landscape;
    ASSERT_TRUE(landscape.PreparePrinting());
    EXPECT_EQ(GetDeviceCaps(landscape.GetPrinterDC(), HORZRES), portraitHeight) << "the DEVMODE is used";
    EXPECT_EQ(GetDeviceCaps(landscape.GetPrinterDC(), VERTRES), portraitWidth);
}
