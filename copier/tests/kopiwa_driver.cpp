// Driving Kopiwa.exe from a test; see kopiwa_driver.h.
#include "kopiwa_driver.h"

#include <commdlg.h>

#include <cstring>

#include "copier_texts.h"

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

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
    HWND found = nullptr;
    wintest::WaitUntil(
        [&] {
            for (HWND window : wintest::TopWindowsOf(processId))
                if (IsWindowVisible(window) && wintest::IsMessageBox(window)) {
                    found = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

bool AnswerMessageBox(HWND box) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return wintest::WaitForWindowGone(box);
}

namespace {

HKEY OpenKey(const char* key, bool create) {
    HKEY handle = nullptr;
    if (create)
        RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr);
    else
        RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &handle);
    return handle;
}

}  // namespace

void DeleteCopierKeys() { wintest::DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Harbel"); }

bool ReadDword(const char* key, const char* name, LONG* value) {
    HKEY handle = OpenKey(key, false);
    if (!handle) return false;
    DWORD type = 0;
    DWORD size = sizeof *value;
    const bool ok = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_DWORD && size == 4;
    RegCloseKey(handle);
    return ok;
}

void WriteDword(const char* key, const char* name, LONG value) {
    HKEY handle = OpenKey(key, true);
    RegSetValueExA(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(handle);
}

bool ReadBinary(const char* key, const char* name, std::vector<BYTE>* data) {
    HKEY handle = OpenKey(key, false);
    if (!handle) return false;
    DWORD size = 0;
    bool ok = RegQueryValueExA(handle, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    data->assign(size, 0);
    if (ok && size) ok = RegQueryValueExA(handle, name, nullptr, nullptr, data->data(), &size) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

void WriteBinary(const char* key, const char* name, const std::vector<BYTE>& data) {
    HKEY handle = OpenKey(key, true);
    RegSetValueExA(handle, name, 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(handle);
}

bool ValueExists(const char* key, const char* name) {
    HKEY handle = OpenKey(key, false);
    if (!handle) return false;
    const bool exists = RegQueryValueExA(handle, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return exists;
}

std::vector<BYTE> DevNamesBlock(const char* device, const char* output, WORD flags) {
    std::vector<BYTE> block(sizeof(DEVNAMES));
    auto append = [&](const char* text) {
        const WORD offset = static_cast<WORD>(block.size());
        block.insert(block.end(), text, text + std::strlen(text) + 1);
        return offset;
    };
    const WORD driver = append("winspool");
    const WORD deviceOffset = append(device);
    const WORD outputOffset = append(output);
    auto* names = reinterpret_cast<DEVNAMES*>(block.data());
    names->wDriverOffset = driver;
    names->wDeviceOffset = deviceOffset;
    names->wOutputOffset = outputOffset;
    names->wDefault = flags;
    return block;
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

RECT WorkArea() {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    return monitor.rcWork;
}

RECT WindowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

}  // namespace kopiwa
