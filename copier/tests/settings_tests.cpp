// The copier's settings in the registry, and the platform check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "copy_dialog.h"
#include "hostile_campaign.h"
#include "kfw/print.h"
#include "kopiwa_driver.h"
#include "settings.h"
#include "test_app.h"

using namespace kopiwa;

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override { DeleteCopierKeys(); }
    void TearDown() override {
        App().SelectPrinter(nullptr, nullptr);
        DeleteCopierKeys();
    }
};

std::vector<BYTE> Bytes(HGLOBAL block) {
    std::vector<BYTE> bytes(block ? GlobalSize(block) : 0);
    if (block) {
        std::memcpy(bytes.data(), GlobalLock(block), bytes.size());
        GlobalUnlock(block);
    }
    return bytes;
}

std::string KeyClass(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char keyClass[64] = "";
    DWORD size = sizeof keyClass;
    RegQueryInfoKeyA(key, keyClass, &size, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    return keyClass;
}

}  // namespace

TEST_F(Settings, MissingKeysGiveTheDefaults) {
    CCopyDialog dialog;
    dialog.m_nScale = dialog.m_nColorSelect = dialog.m_nSpeedSelect = 77;
    dialog.LoadSettings();
    EXPECT_EQ(dialog.m_nScale, 100);
    EXPECT_EQ(dialog.m_nColorSelect, 2);
    EXPECT_EQ(dialog.m_nSpeedSelect, 1);
    EXPECT_EQ(dialog.m_nUISelect, 0);
    EXPECT_EQ(dialog.m_nXPos, -1);
    EXPECT_EQ(dialog.m_nYPos, -1);
    EXPECT_EQ(KeyClass(kStatusKey), "<no key>") << "reading creates nothing";
}

TEST_F(Settings, StatusValuesRoundTripAsSignedNumbers) {
    CCopyDialog saved;
    saved.m_nScale = 1000;
    saved.m_nColorSelect = 0;
    saved.m_nSpeedSelect = 2;
    saved.m_nUISelect = 1;
    saved.m_nXPos = -1;
    saved.m_nYPos = -32000;
    saved.SaveSettings();
    EXPECT_EQ(KeyClass(kStatusKey), "Kopiwa");
    CCopyDialog loaded;
    loaded.LoadSettings();
    EXPECT_EQ(loaded.m_nScale, 1000);
    EXPECT_EQ(loaded.m_nColorSelect, 0);
    EXPECT_EQ(loaded.m_nSpeedSelect, 2);
    EXPECT_EQ(loaded.m_nUISelect, 1);
    EXPECT_EQ(loaded.m_nXPos, -1);
    EXPECT_EQ(loaded.m_nYPos, -32000);
    LONG raw = 0;
    ASSERT_TRUE(ReadDword(kStatusKey, "YPos", &raw)) << "stored as REG_DWORD";
    EXPECT_EQ(raw, -32000);
}

TEST_F(Settings, DwordsAreReadWhateverTheirTypeButNeverLonger) {
    WriteBinary(kStatusKey, "Scale", {0x2C, 0x01, 0x00, 0x00});
    EXPECT_EQ(ReadRegistryDword("Scale", 100), 300);
    WriteBinary(kStatusKey, "Scale", {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(ReadRegistryDword("Scale", 100), 100) << "eight bytes do not fit";
    WriteBinary(kStatusKey, "Scale", {0x90, 0x01});
    EXPECT_EQ(ReadRegistryDword("Scale", 100), 400) << "the low bytes of a shorter value";
}

TEST_F(Settings, PrinterBlocksAreReadUpToTheirStoredLength) {
    WriteDword(kPrinterKey, "LenDevNames", 40);
    WriteBinary(kPrinterKey, "DevNames", std::vector<BYTE>(30, 0xAB));
    GlobalMemory longer = ReadPrinterBlob("LenDevNames", "DevNames");
    ASSERT_TRUE(longer);
    std::vector<BYTE> bytes = Bytes(longer.Get());
    ASSERT_GE(bytes.size(), 40u);
    EXPECT_EQ(bytes[29], 0xAB);
    EXPECT_EQ(bytes[30], 0) << "the rest of the block stays zero";

    WriteDword(kPrinterKey, "LenDevNames", 20);
    EXPECT_FALSE(ReadPrinterBlob("LenDevNames", "DevNames")) << "data longer than its stored length";
    EXPECT_FALSE(ReadPrinterBlob("LenDevMode", "DevMode")) << "no length value";
    WriteDword(kPrinterKey, "LenDevMode", 16);
    EXPECT_FALSE(ReadPrinterBlob("LenDevMode", "DevMode")) << "no data value";

    // Lengths no driver reaches are not stored blocks, however small the data.
    // A DEVMODE's dmSize and dmDriverExtra are two WORDs: up to 2 x 65535
    // bytes, and the heap may round the block up to its next 16 bytes.
    WriteBinary(kPrinterKey, "DevMode", std::vector<BYTE>(30, 0xCD));
    for (LONG length : {64 * 1024, 64 * 1024 + 1, 2 * 0xFFFF, 2 * 0xFFFF + 16}) {
        WriteDword(kPrinterKey, "LenDevMode", length);
        GlobalMemory largest = ReadPrinterBlob("LenDevMode", "DevMode");
        ASSERT_TRUE(largest) << length << " is taken";
        EXPECT_EQ(GlobalSize(largest.Get()), static_cast<SIZE_T>(length));
    }
    for (LONG length : {2 * 0xFFFF + 17, 300000000, -1}) {
        WriteDword(kPrinterKey, "LenDevMode", length);
        EXPECT_FALSE(ReadPrinterBlob("LenDevMode", "DevMode")) << length;
    }
}

TEST_F(Settings, TheSelectionIsRestoredAndSavedByteForByte) {
    const std::vector<BYTE> devNames = DevNamesBlock(wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), 0);
    const std::vector<BYTE> devMode = PdfDevMode(true);
    ASSERT_FALSE(devMode.empty());
    StorePrinter(devNames, devMode);
    App().LoadPrinterSelection();
    EXPECT_EQ(Bytes(App().GetDevNames()), devNames);
    EXPECT_EQ(Bytes(App().GetDevMode()), devMode);

    DeleteCopierKeys();
    App().SavePrinterSelection();
    std::vector<BYTE> stored;
    LONG length = 0;
    ASSERT_TRUE(ReadDword(kPrinterKey, "LenDevNames", &length));
    EXPECT_EQ(length, static_cast<LONG>(GlobalSize(App().GetDevNames())));
    ASSERT_TRUE(ReadBinary(kPrinterKey, "DevNames", &stored));
    EXPECT_EQ(stored, Bytes(App().GetDevNames()));
    ASSERT_TRUE(ReadDword(kPrinterKey, "LenDevMode", &length));
    EXPECT_EQ(length, static_cast<LONG>(GlobalSize(App().GetDevMode())));
    ASSERT_TRUE(ReadBinary(kPrinterKey, "DevMode", &stored));
    EXPECT_EQ(stored, Bytes(App().GetDevMode()));
    EXPECT_EQ(KeyClass(kPrinterKey), "Kopiwa");
}

TEST_F(Settings, WithoutDevNamesTheDevModeIsStillRead) {
    const std::vector<BYTE> devMode = PdfDevMode(false);
    WriteDword(kPrinterKey, "LenDevNames", 64);
    WriteDword(kPrinterKey, "LenDevMode", static_cast<LONG>(devMode.size()));
    WriteBinary(kPrinterKey, "DevMode", devMode);
    App().LoadPrinterSelection();
    EXPECT_EQ(App().GetDevNames(), nullptr);
    EXPECT_EQ(Bytes(App().GetDevMode()), devMode);
}

TEST_F(Settings, ADevModeLongerThanItsStoredLengthIsNotRestored) {
    const std::vector<BYTE> devMode = PdfDevMode(false);
    StorePrinter(DevNamesBlock(wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), 0), devMode);
    WriteDword(kPrinterKey, "LenDevMode", static_cast<LONG>(devMode.size()) - 1);
    App().LoadPrinterSelection();
    EXPECT_NE(App().GetDevNames(), nullptr);
    EXPECT_EQ(App().GetDevMode(), nullptr);
}

// Hand-edited or cut-off blocks would make the printer driver read past
// them; they count as not stored, and the other block is still restored.
TEST_F(Settings, BlocksThatDoNotFitTheirOwnSizesAreNotRestored) {
    const std::vector<BYTE> goodNames = DevNamesBlock(wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), 0);
    const std::vector<BYTE> goodMode = PdfDevMode(false);
    ASSERT_GT(goodMode.size(), sizeof(DEVMODEA) / 2);

    std::vector<BYTE> cutMode(goodMode.begin(), goodMode.begin() + 60);  // dmSize says more
    std::vector<BYTE> hugeExtra = goodMode;
    reinterpret_cast<DEVMODEA*>(hugeExtra.data())->dmDriverExtra = 0x7FFF;
    std::vector<BYTE> tinySize = goodMode;
    reinterpret_cast<DEVMODEA*>(tinySize.data())->dmSize = 8;
    for (const auto& badMode : {cutMode, hugeExtra, tinySize}) {
        StorePrinter(goodNames, badMode);
        App().LoadPrinterSelection();
        EXPECT_EQ(App().GetDevMode(), nullptr);
        EXPECT_EQ(Bytes(App().GetDevNames()), goodNames);
    }

    std::vector<BYTE> outside = goodNames;
    reinterpret_cast<DEVNAMES*>(outside.data())->wOutputOffset = 0x4000;
    std::vector<BYTE> unterminated = goodNames;
    unterminated.back() = 'X';
    std::vector<BYTE> headerOnly(goodNames.begin(), goodNames.begin() + 6);
    for (const auto& badNames : {outside, unterminated, headerOnly}) {
        StorePrinter(badNames, goodMode);
        App().LoadPrinterSelection();
        EXPECT_EQ(App().GetDevNames(), nullptr);
        EXPECT_EQ(Bytes(App().GetDevMode()), goodMode);
    }

    // The largest private part a driver may keep is restored byte for byte.
    std::vector<BYTE> largest = goodMode;
    reinterpret_cast<DEVMODEA*>(largest.data())->dmDriverExtra = 0xFFFF;
    largest.resize(reinterpret_cast<DEVMODEA*>(largest.data())->dmSize + 0xFFFF, 0x5A);
    StorePrinter(goodNames, largest);
    App().LoadPrinterSelection();
    EXPECT_EQ(Bytes(App().GetDevMode()), largest) << "a DEVMODE of " << largest.size() << " bytes";

    WriteDword(kPrinterKey, "LenDevNames", 0);
    WriteBinary(kPrinterKey, "DevNames", {});
    App().LoadPrinterSelection();
    EXPECT_EQ(App().GetDevNames(), nullptr) << "an empty block";
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The number a Status value gives, worked out from what was stored: four
// bytes or fewer fill the low bytes of a zero, anything longer is the default.
// (A text type is read back converted through the system's code page: any
// number, or the default, is then what the dialog shows and Copy checks.)
LONG ExpectedDword(const std::vector<BYTE>& stored, LONG defaultValue) {
    if (stored.size() > 4) return defaultValue;
    LONG value = 0;
    std::memcpy(&value, stored.data(), stored.size());
    return value;
}

// A stored length: the data's own, one near it, or any number at all.
LONG MutatedLength(size_t size, mutation::Random& random) {
    switch (random.Below(4)) {
    case 0: return static_cast<LONG>(size);
    case 1: return static_cast<LONG>(size) + static_cast<LONG>(random.Below(17)) - 8;
    case 2: return static_cast<LONG>(random.Next());
    default: return static_cast<LONG>(random.Below(128 * 1024));
    }
}

// The block a stored length and data restore, worked out from the bytes
// alone: the data in a zero-filled block of that length, when the length is
// one a driver can write, the data fits it, and the block's own sizes (a
// DEVMODE's dmSize and dmDriverExtra) or offsets (a DEVNAMES's three texts,
// each ending inside) fit the block; otherwise nothing.
std::vector<BYTE> ExpectedBlock(const std::vector<BYTE>& data, LONG length, bool devMode) {
    const DWORD size = static_cast<DWORD>(length);
    if (size > 2 * 0xFFFF + 16 || data.size() > size) return {};
    std::vector<BYTE> block(data);
    block.resize(size, 0);
    auto word = [&](size_t at) { return static_cast<DWORD>(block[at] | block[at + 1] << 8); };
    if (devMode) {
        const DWORD smallest = 68;  // the first DEVMODE, up to dmTTOption
        return size >= smallest && word(36) >= smallest && word(36) + word(38) <= size ? block
                                                                                        : std::vector<BYTE>();
    }
    for (size_t text = 0; text < 6; text += 2) {
        if (size < 8 || word(text) < 8 || word(text) >= size ||
            std::find(block.begin() + word(text), block.end(), 0) == block.end())
            return {};
    }
    return block;
}

// Hand-edited or damaged Status and Printer values, mutated from good ones:
// each case restores exactly the blocks its stored bytes imply (or none),
// reads every Status value as stored or as its default, and keeps the
// process within its memory. Most cases keep a block of each kind.
TEST_F(Settings, HostileStoredValuesAreRestoredOrIgnored) {
    const std::vector<BYTE> goodNames = DevNamesBlock(wintest::TestPrinter().c_str(), wintest::TestPrinterPort().c_str(), DN_DEFAULTPRN);
    const std::vector<BYTE> goodMode = PdfDevMode(true);
    ASSERT_FALSE(goodMode.empty());
    const std::vector<std::string> words = {"PDF", std::string(1, '\0'), "CUPS:", "\xFF\xFF"};
    const char* const statusNames[] = {"Scale", "ColorSelect", "SpeedSelect", "UISelect", "XPos", "YPos"};
    const DWORD types[] = {REG_DWORD, REG_BINARY, REG_SZ, REG_NONE, REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ};
    hostile::Campaign campaign("stored settings", 0x5E771265, 300, 32u << 20);
    mutation::Random random(campaign.Seed());
    size_t restored[2] = {0, 0};
    for (size_t i = 0; campaign.Going(i); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        DeleteCopierKeys();
        const std::vector<BYTE> names = mutation::Mutate(goodNames, random, 4, words);
        const std::vector<BYTE> mode = mutation::Mutate(goodMode, random, 4, words);
        const LONG namesLength = MutatedLength(names.size(), random);
        const LONG modeLength = MutatedLength(mode.size(), random);
        WriteDword(kPrinterKey, "LenDevNames", namesLength);
        WriteBinary(kPrinterKey, "DevNames", names);
        WriteDword(kPrinterKey, "LenDevMode", modeLength);
        WriteBinary(kPrinterKey, "DevMode", mode);
        App().LoadPrinterSelection();
        EXPECT_EQ(Bytes(App().GetDevNames()), ExpectedBlock(names, namesLength, false))
            << namesLength << ": " << hostile::Hex(names);
        EXPECT_EQ(Bytes(App().GetDevMode()), ExpectedBlock(mode, modeLength, true))
            << modeLength << ": " << hostile::Hex(mode);
        restored[0] += App().GetDevNames() != nullptr;
        restored[1] += App().GetDevMode() != nullptr;

        for (const char* name : statusNames) {
            std::vector<BYTE> stored(random.Below(9));
            for (BYTE& b : stored) b = static_cast<BYTE>(random.Next());
            HKEY key;
            ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kStatusKeyPath, &key), ERROR_SUCCESS);
            const DWORD type = types[random.Below(sizeof types / sizeof types[0])];
            RegSetValueExA(key, name, 0, type, stored.data(), static_cast<DWORD>(stored.size()));
            RegCloseKey(key);
            const LONG read = ReadRegistryDword(name, -7);
            if (!IsTextType(type)) {
                EXPECT_EQ(read, ExpectedDword(stored, -7)) << name << " type " << type << ": " << hostile::Hex(stored);
            }
        }
        campaign.EndCase(i, hostile::Hex(names) + "/ " + hostile::Hex(mode));
    }
    campaign.Reach("DEVNAMES restored", restored[0], campaign.Cases(), 0.25);
    campaign.Reach("DEVMODE restored", restored[1], campaign.Cases(), 0.25);
}

TEST(Platform, TheWindows95FamilyAndNt4OnwardsAreSupported) {
    struct Case {
        DWORD platform, major, minor;
        BOOL supported;
    } cases[] = {{VER_PLATFORM_WIN32_WINDOWS, 4, 0, TRUE}, {VER_PLATFORM_WIN32_WINDOWS, 4, 10, TRUE},
                 {VER_PLATFORM_WIN32_NT, 4, 0, TRUE},      {VER_PLATFORM_WIN32_NT, 5, 0, TRUE},
                 {VER_PLATFORM_WIN32_NT, 10, 0, TRUE},     {VER_PLATFORM_WIN32_NT, 3, 51, FALSE},
                 {VER_PLATFORM_WIN32s, 3, 10, FALSE}};
    for (const Case& c : cases) {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
        version.dwPlatformId = c.platform;
        version.dwMajorVersion = c.major;
        version.dwMinorVersion = c.minor;
        EXPECT_EQ(IsSupportedWindows(&version), c.supported) << c.platform << " " << c.major << "." << c.minor;
    }
}
