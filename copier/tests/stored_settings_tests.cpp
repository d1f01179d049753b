// Kopiwa.exe and its registry: defaults, what it shows of stored values,
// what it writes on exit, the dialog's position, and printer blocks.
#include <gtest/gtest.h>

#include "copier_texts.h"
#include "kopiwa_driver.h"

using namespace kopiwa;

namespace {

const char* const kStatusValues[] = {"Scale", "ColorSelect", "SpeedSelect", "UISelect", "XPos", "YPos"};

class StoredSettings : public ::testing::Test {
protected:
    void SetUp() override { DeleteCopierKeys(); }
    void TearDown() override { DeleteCopierKeys(); }
};

LONG Stored(const char* name) {
    LONG value = 0x7EADBEEF;
    ReadDword(kStatusKey, name, &value);
    return value;
}

const DEVNAMES* AsDevNames(const std::vector<BYTE>& block) {
    return reinterpret_cast<const DEVNAMES*>(block.data());
}

std::string DeviceOf(const std::vector<BYTE>& devNames) {
    if (devNames.size() < sizeof(DEVNAMES)) return "";
    const WORD offset = AsDevNames(devNames)->wDeviceOffset;
    if (offset >= devNames.size()) return "";
    return reinterpret_cast<const char*>(devNames.data()) + offset;
}

}  // namespace

TEST_F(StoredSettings, WithoutKeysTheDefaultsShowAndExitWritesEveryValue) {
    Copier copier;
    ASSERT_TRUE(copier.Start());
    EXPECT_EQ(copier.Text(1005), "100");
    EXPECT_TRUE(copier.Checked(1010)) << "text mode";
    EXPECT_FALSE(copier.Checked(1009));
    EXPECT_FALSE(copier.Checked(1032));
    EXPECT_TRUE(copier.Checked(1015)) << "fast";
    EXPECT_TRUE(copier.Checked(1017)) << "automatic";
    const POINT centre = Centre(WindowRect(copier.Dialog()));
    const POINT screen = Centre(WorkArea());
    EXPECT_NEAR(centre.x, screen.x, 1);
    EXPECT_NEAR(centre.y, screen.y, 1);
    ASSERT_TRUE(wintest::WaitUntil([&] { return copier.Text(1024) == texts::kReady; }, 5000));
    wintest::Screenshot("copy_dialog", copier.Dialog());
    const RECT shown = WindowRect(copier.Dialog());

    ASSERT_TRUE(copier.Exit());
    for (const char* name : kStatusValues) EXPECT_TRUE(ValueExists(kStatusKey, name)) << name;
    EXPECT_EQ(Stored("Scale"), 100);
    EXPECT_EQ(Stored("ColorSelect"), 2);
    EXPECT_EQ(Stored("SpeedSelect"), 1);
    EXPECT_EQ(Stored("UISelect"), 0);
    EXPECT_EQ(Stored("XPos"), shown.left) << "the position it was centred at";
    EXPECT_EQ(Stored("YPos"), shown.top);

    LONG length = 0;
    ASSERT_TRUE(ReadDword(kPrinterKey, "LenDevNames", &length));
    const std::vector<BYTE> devNames = StoredPrinterBlock("DevNames");
    EXPECT_EQ(static_cast<size_t>(length), devNames.size());
    EXPECT_EQ(DeviceOf(devNames), wintest::TestPrinter()) << "the system's default printer";
    EXPECT_TRUE(AsDevNames(devNames)->wDefault & DN_DEFAULTPRN);
    ASSERT_TRUE(ReadDword(kPrinterKey, "LenDevMode", &length));
    EXPECT_EQ(static_cast<size_t>(length), StoredPrinterBlock("DevMode").size());
    EXPECT_GE(StoredPrinterBlock("DevMode").size(), 68u);
}

TEST_F(StoredSettings, StoredValuesAreShownAndKeptAsTheyWere) {
    WriteDword(kStatusKey, "Scale", 250);
    WriteDword(kStatusKey, "ColorSelect", 0);
    WriteDword(kStatusKey, "SpeedSelect", 2);
    WriteDword(kStatusKey, "UISelect", 1);
    WriteDword(kStatusKey, "XPos", 100);
    WriteDword(kStatusKey, "YPos", 120);
    const std::vector<BYTE> devNames = DevNamesBlock(wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), 0);
    const std::vector<BYTE> devMode = PdfDevMode(true);
    StorePrinter(devNames, devMode);

    Copier copier;
    ASSERT_TRUE(copier.Start());
    EXPECT_EQ(copier.Text(1005), "250");
    EXPECT_TRUE(copier.Checked(1009));
    EXPECT_TRUE(copier.Checked(1016));
    EXPECT_TRUE(copier.Checked(1019));
    EXPECT_EQ(WindowRect(copier.Dialog()).left, 100);
    EXPECT_EQ(WindowRect(copier.Dialog()).top, 120);
    ASSERT_TRUE(copier.Exit());

    EXPECT_EQ(Stored("Scale"), 250);
    EXPECT_EQ(Stored("ColorSelect"), 0);
    EXPECT_EQ(Stored("SpeedSelect"), 2);
    EXPECT_EQ(Stored("UISelect"), 1);
    EXPECT_EQ(Stored("XPos"), 100);
    EXPECT_EQ(Stored("YPos"), 120);
    EXPECT_EQ(StoredPrinterBlock("DevNames"), devNames) << "a chosen printer is kept byte for byte";
    EXPECT_EQ(StoredPrinterBlock("DevMode"), devMode);
}

TEST_F(StoredSettings, AMissingCoordinateCentresTheDialogAndRecordsWhereItWent) {
    WriteDword(kStatusKey, "XPos", -1);
    WriteDword(kStatusKey, "YPos", 200);
    Copier copier;
    ASSERT_TRUE(copier.Start());
    const RECT shown = WindowRect(copier.Dialog());
    const POINT centre = Centre(shown);
    const POINT screen = Centre(WorkArea());
    EXPECT_NEAR(centre.x, screen.x, 1);
    EXPECT_NEAR(centre.y, screen.y, 1);
    ASSERT_TRUE(copier.Exit());
    EXPECT_EQ(Stored("XPos"), shown.left);
    EXPECT_EQ(Stored("YPos"), shown.top);
}

TEST_F(StoredSettings, AStoredScaleOf1000IsShownAndCopyRefusesIt) {
    WriteDword(kStatusKey, "Scale", 1000);
    WriteDword(kStatusKey, "ColorSelect", 7);
    Copier copier;
    ASSERT_TRUE(copier.Start());
    EXPECT_EQ(copier.Text(1005), "1000");
    EXPECT_FALSE(copier.Checked(1009) || copier.Checked(1032) || copier.Checked(1010))
        << "a mode outside the group checks none";
    copier.Click(1001);
    HWND box = WaitForMessageBox(copier.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(wintest::MessageBoxText(box), texts::kScaleRange);
    EXPECT_EQ(wintest::WindowText(box), "Kopiwa") << "the program's name";
    EXPECT_EQ(GetWindow(box, GW_OWNER), copier.Dialog());
    ASSERT_TRUE(AnswerMessageBox(box));
    EXPECT_EQ(copier.Focus(), GetDlgItem(copier.Dialog(), 1005));
    const DWORD selection = static_cast<DWORD>(SendMessageA(GetDlgItem(copier.Dialog(), 1005), EM_GETSEL, 0, 0));
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), 4) << "all of \"1000\" selected";
    copier.Process().Kill();
}

// A hand-edited or cut-off block must not reach the printer driver: the
// program starts, ignores it, and writes the printer in effect on exit.
TEST_F(StoredSettings, CorruptPrinterBlocksAreIgnored) {
    std::vector<BYTE> devNames = DevNamesBlock(wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), DN_DEFAULTPRN);
    reinterpret_cast<DEVNAMES*>(devNames.data())->wDeviceOffset = 0xFFF0;
    std::vector<BYTE> devMode = PdfDevMode(true);
    devMode.resize(60);  // dmSize and dmDriverExtra promise more
    StorePrinter(devNames, devMode);

    Copier copier;
    ASSERT_TRUE(copier.Start());
    copier.Click(1001);  // measures the printer: the selection is used
    EXPECT_TRUE(wintest::WaitUntil([&] { return copier.Text(1024) == texts::kReady; }, 5000));
    EXPECT_EQ(WaitForMessageBox(copier.Id(), 500), nullptr);
    ASSERT_TRUE(copier.Exit());

    const std::vector<BYTE> names = StoredPrinterBlock("DevNames");
    EXPECT_EQ(DeviceOf(names), wintest::TestPrinter());
    EXPECT_LT(AsDevNames(names)->wDeviceOffset, names.size());
    const std::vector<BYTE> mode = StoredPrinterBlock("DevMode");
    ASSERT_GE(mode.size(), 68u);
    const auto* dm = reinterpret_cast<const DEVMODEA*>(mode.data());
    EXPECT_LE(static_cast<size_t>(dm->dmSize) + dm->dmDriverExtra, mode.size());
    EXPECT_NE(dm->dmOrientation, DMORIENT_LANDSCAPE) << "the default printer's own settings";
}

