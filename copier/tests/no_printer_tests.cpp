// Kopiwa.exe on a machine without printers. Wine lists the CUPS queues as
// printers, and has none when CUPS is out of reach; it decides so in the
// first process of the session that loads the spooler, so this test program
// never loads it and the copier is started with CUPS out of reach.
#include <gtest/gtest.h>

#include <cstring>

#include "copier_texts.h"
#include "kopiwa_driver.h"

using namespace kopiwa;

namespace {

bool RunWithoutPrinters() {
    const std::string command = "CUPS_SERVER=/nonexistent/cups.sock WINEPREFIX='" + wintest::Env("WINEPREFIX") +
                                "' nohup wine '" + wintest::UnixBuildDir() +
                                "/dist/Kopiwa.exe' >/dev/null 2>&1 &";
    if (wintest::RunUnix(command).status != 0) return false;
    HWND dialog = wintest::WaitForTopWindow(texts::kDialogTitle, 0, 30000);
    if (!dialog || !GetDlgItem(dialog, 1001)) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    wintest::PostClick(dialog, IDOK);
    const bool ended = process && WaitForSingleObject(process, 20000) == WAIT_OBJECT_0;
    if (process) CloseHandle(process);
    return ended;
}

// A DEVMODE of the right shape; which printer it names does not matter here.
std::vector<BYTE> SomeDevMode() {
    std::vector<BYTE> block(sizeof(DEVMODEA));
    auto* mode = reinterpret_cast<DEVMODEA*>(block.data());
    std::strcpy(reinterpret_cast<char*>(mode->dmDeviceName), "PDF");
    mode->dmSpecVersion = DM_SPECVERSION;
    mode->dmSize = sizeof(DEVMODEA);
    return block;
}

}  // namespace

TEST(NoPrinter, NothingIsWrittenUnderPrinter) {
    ASSERT_EQ(GetModuleHandleA("winspool.drv"), nullptr) << "this program must not load the spooler";
    ASSERT_FALSE(wintest::Env("WINEPREFIX").empty());
    DeleteCopierKeys();
    ASSERT_TRUE(RunWithoutPrinters());
    EXPECT_TRUE(ValueExists(kStatusKey, "Scale")) << "the dialog's values are written";
    for (const char* name : {"LenDevNames", "DevNames", "LenDevMode", "DevMode"})
        EXPECT_FALSE(ValueExists(kPrinterKey, name)) << name;
}

TEST(NoPrinter, ASelectionThatFollowedTheDefaultPrinterIsDroppedAndTheStoredOneKept) {
    DeleteCopierKeys();
    const std::vector<BYTE> devNames = DevNamesBlock("PDF", "CUPS:PDF", DN_DEFAULTPRN);
    const std::vector<BYTE> devMode = SomeDevMode();
    WriteDword(kPrinterKey, "LenDevNames", static_cast<LONG>(devNames.size()));
    WriteBinary(kPrinterKey, "DevNames", devNames);
    WriteDword(kPrinterKey, "LenDevMode", static_cast<LONG>(devMode.size()));
    WriteBinary(kPrinterKey, "DevMode", devMode);
    ASSERT_TRUE(RunWithoutPrinters());
    EXPECT_EQ(StoredPrinterBlock("DevNames"), devNames);
    EXPECT_EQ(StoredPrinterBlock("DevMode"), devMode);
}
