// Settings persistence: the Status and Printer keys under
// HKEY_CURRENT_USER\Software\Harbel\Kopiwa. Values are read once at start-up
// and written back as they stand; nothing is ever deleted here.
#include "settings.h"

#include "app.h"
#include "copy_dialog.h"
#include "kfw/print.h"
#include "scan_plan.h"

const char kStatusKeyPath[] = "Software\\Harbel\\Kopiwa\\Status";
const char kPrinterKeyPath[] = "Software\\Harbel\\Kopiwa\\Printer";

namespace {

// Both keys, when created here, carry this class string.
const char kKeyClass[] = "Kopiwa";

// The largest block a driver can legally hand over: a DEVMODE's dmSize and
// dmDriverExtra are two WORDs, so it takes up to 2 x 65535 bytes, and the
// heap may report its global block rounded up to the next 16 bytes (a
// DEVNAMES, with WORD offsets and short texts, stays below that). A larger
// stored length is a damaged or hostile value, which would otherwise be
// allocated, handed to the driver and written back at exit.
const DWORD kMaxPrinterBlock = 2 * 0xFFFF + 16;

}  // namespace

LONG ReadRegistryDword(const char* name, LONG defaultValue) {
    RegKey key;
    if (key.Open(HKEY_CURRENT_USER, kStatusKeyPath, KEY_ALL_ACCESS) != ERROR_SUCCESS) return defaultValue;
    LONG value = 0;
    DWORD size = sizeof value;
    // The stored type is not looked at; anything longer than four bytes
    // fails the query and leaves the default.
    if (RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return defaultValue;
    // A shorter value fills only the low bytes of the zeroed number.
    return value;
}

BOOL WriteRegistryDword(const char* name, LONG value) {
    RegKey key;
    if (key.Create(HKEY_CURRENT_USER, kStatusKeyPath, kKeyClass, KEY_ALL_ACCESS) == ERROR_SUCCESS)
        RegSetValueExA(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    return TRUE;
}

GlobalMemory ReadPrinterBlob(const char* lengthName, const char* dataName) {
    RegKey key;
    if (key.Open(HKEY_CURRENT_USER, kPrinterKeyPath, KEY_ALL_ACCESS) != ERROR_SUCCESS) return {};
    DWORD length = 0;
    DWORD size = sizeof length;
    if (RegQueryValueExA(key.Get(), lengthName, nullptr, nullptr, reinterpret_cast<BYTE*>(&length), &size) !=
        ERROR_SUCCESS)
        return {};
    if (length > kMaxPrinterBlock) return {};
    GlobalMemory block = GlobalMemory::Allocate(length);
    if (!block) return {};
    LONG result;
    {
        GlobalLockGuard<BYTE> data(block.Get());
        DWORD dataSize = length;
        result = RegQueryValueExA(key.Get(), dataName, nullptr, nullptr, data.Get(), &dataSize);
    }
    if (result != ERROR_SUCCESS) return {};
    return block;
}

BOOL WritePrinterBlob(HGLOBAL block, const char* lengthName, const char* dataName) {
    const DWORD size = block ? static_cast<DWORD>(GlobalSize(block)) : 0;
    GlobalLockGuard<const BYTE> data(block);
    RegKey key;
    if (key.Create(HKEY_CURRENT_USER, kPrinterKeyPath, kKeyClass, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        RegSetValueExA(key.Get(), lengthName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&size), sizeof size);
        RegSetValueExA(key.Get(), dataName, 0, REG_BINARY, data.Get(), data ? size : 0);
    }
    return TRUE;
}

namespace {

// The Status values: each one's name, the dialog field it holds, and what a
// missing value reads as.
struct StatusValue {
    const char* name;
    int CCopyDialog::*field;
    LONG defaultValue;
};
const StatusValue kStatusValues[] = {
    {"Scale", &CCopyDialog::m_nScale, 100},
    {"ColorSelect", &CCopyDialog::m_nColorSelect, ScanModeText},
    {"SpeedSelect", &CCopyDialog::m_nSpeedSelect, ScanSpeedFast},
    {"UISelect", &CCopyDialog::m_nUISelect, 0},
    {"XPos", &CCopyDialog::m_nXPos, -1},
    {"YPos", &CCopyDialog::m_nYPos, -1},
};

}  // namespace

void CCopyDialog::LoadSettings() {
    for (const StatusValue& value : kStatusValues)
        this->*value.field = ReadRegistryDword(value.name, value.defaultValue);
}

void CCopyDialog::SaveSettings() {
    for (const StatusValue& value : kStatusValues) WriteRegistryDword(value.name, this->*value.field);
}

// The blocks are later handed to the printer driver, which trusts their own
// sizes and offsets: a hand-edited or cut-off block whose sizes or offsets
// point outside itself is treated as not stored.
void CCopierApp::LoadPrinterSelection() {
    GlobalMemory devNames = ReadPrinterBlob("LenDevNames", "DevNames");
    if (devNames && !DevNamesFits(devNames.Get())) devNames.Reset();
    GlobalMemory devMode = ReadPrinterBlob("LenDevMode", "DevMode");
    if (devMode && !DevModeFits(devMode.Get())) devMode.Reset();
    SelectPrinter(devNames.Detach(), devMode.Detach());
}

// Without any printer nothing is written and the stored values stay.
void CCopierApp::SavePrinterSelection() {
    PRINTDLGA selection{};
    if (!GetPrinterDeviceDefaults(&selection)) return;
    WritePrinterBlob(selection.hDevNames, "LenDevNames", "DevNames");
    WritePrinterBlob(selection.hDevMode, "LenDevMode", "DevMode");
}
