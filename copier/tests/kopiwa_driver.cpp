// Driving Kopiwa.exe from a test; see kopiwa_driver.h.
#include "kopiwa_driver.h"

#include <commdlg.h>

#include <cstring>

#include "copier_texts.h"
#include "printer_blocks.h"
#include "registry.h"

namespace kopiwa {

const char kStatusKey[] = "Software\\Harbel\\Kopiwa\\Status";
const char kPrinterKey[] = "Software\\Harbel\\Kopiwa\\Printer";

std::string ProgramPath() { return wintest::DistDir() + "\\Kopiwa.exe"; }
std::string CountedProgramPath() { return wintest::BuildDir() + "\\copier\\kopiwa_counted.exe"; }

bool Copier::Start(const std::string& program) {
    if (!process_.Start(program)) return false;
    // The refusal message box has the same caption; the dialog has Copy.
    wintest::WaitUntil([&] {
        for (HWND window : wintest::TopWindowsOf(process_.Id()))
            if (IsWindowVisible(window) && GetDlgItem(window, 1001) &&
                wintest::WindowText(window) == texts::kDialogTitle) {
                dialog_ = window;
                return true;
            }
        return false;
    });
    return dialog_ != nullptr;
}

void Copier::SetText(int id, const std::string& text) const {
    SendMessageA(GetDlgItem(dialog_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool Copier::Checked(int id) const {
    return SendMessageA(GetDlgItem(dialog_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND Copier::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(dialog_, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool Copier::WaitForExit(DWORD timeoutMs) {
    return PumpUntil([&] { return !process_.Running(); }, timeoutMs);
}

bool Copier::Exit() {
    Click(IDOK);
    return WaitForExit();
}

void DeleteCopierKeys() { wintest::DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Harbel"); }

bool ReadDword(const char* key, const char* name, LONG* value) {
    const wintest::RegistryValue stored = wintest::ReadRegistryValue(HKEY_CURRENT_USER, key, name);
    if (!stored.found || stored.type != REG_DWORD || stored.data.size() != 4) return false;
    memcpy(value, stored.data.data(), 4);
    return true;
}

void WriteDword(const char* key, const char* name, LONG value) {
    wintest::WriteRegistryValue(HKEY_CURRENT_USER, key, name, REG_DWORD,
                                std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

bool ReadBinary(const char* key, const char* name, std::vector<BYTE>* data) {
    const wintest::RegistryValue stored = wintest::ReadRegistryValue(HKEY_CURRENT_USER, key, name);
    data->assign(stored.data.begin(), stored.data.end());
    return stored.found;
}

void WriteBinary(const char* key, const char* name, const std::vector<BYTE>& data) {
    wintest::WriteRegistryValue(HKEY_CURRENT_USER, key, name, REG_BINARY, std::string(data.begin(), data.end()));
}

bool ValueExists(const char* key, const char* name) {
    return wintest::ReadRegistryValue(HKEY_CURRENT_USER, key, name).found;
}

void StorePrinter(const std::vector<BYTE>& devNames, const std::vector<BYTE>& devMode) {
    WriteDword(kPrinterKey, "LenDevNames", static_cast<LONG>(devNames.size()));
    WriteBinary(kPrinterKey, "DevNames", devNames);
    WriteDword(kPrinterKey, "LenDevMode", static_cast<LONG>(devMode.size()));
    WriteBinary(kPrinterKey, "DevMode", devMode);
}

std::vector<BYTE> StoredPrinterBlock(const char* name) {
    std::vector<BYTE> data;
    ReadBinary(kPrinterKey, name, &data);
    return data;
}

std::vector<BYTE> DevNamesBlock(const char* device, const char* output, WORD flags) {
    return wintest::DevNamesBlock("winspool", device, output, flags);
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

}  // namespace kopiwa
