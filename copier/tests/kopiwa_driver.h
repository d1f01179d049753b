// Driving Kopiwa.exe from a test under Wine: the program from the
// distribution folder, its windows, and its registry keys (the test shares
// the program's Wine prefix, so it reads and writes the same registry).
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "dialogs.h"
#include "wintest.h"

namespace kopiwa {

std::string ProgramPath();
// The test-only copy of the program that counts its own memory
// (memory_counter.h); it is never in the distribution.
std::string CountedProgramPath();

// Waits until `predicate` holds, handling this thread's messages meanwhile.
// Unlike a poll with Sleep, it wakes as soon as a message arrives, so that a
// message the copier sends to a window of this test (the stand-in help
// engine) is answered at once.
template <class Pred>
bool PumpUntil(Pred predicate, DWORD timeoutMs = 15000) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

// One running copier and its copy dialog.
class Copier {
public:
    // Starts the program (another copy of it with `program`) and waits for
    // its copy dialog; false when none came.
    bool Start(const std::string& program = ProgramPath());
    HWND Dialog() const { return dialog_; }
    DWORD Id() const { return process_.Id(); }
    wintest::Process& Process() { return process_; }
    std::string Text(int id) const { return wintest::ControlText(dialog_, id); }
    void SetText(int id, const std::string& text) const;
    bool Checked(int id) const;
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
    void Click(int id) const { wintest::PostClick(dialog_, id); }
    // The control with the keyboard focus in the program's thread.
    HWND Focus() const;
    // Exit (the OK command); true once the process has ended.
    bool Exit();
    // Handles this thread's messages meanwhile: the copier may be sending to
    // a window of the test as it ends.
    bool WaitForExit(DWORD timeoutMs = 20000);

private:
    wintest::Process process_;
    HWND dialog_ = nullptr;
};

// The copier's message boxes carry its dialog's title: found by process.
using wintest::AnswerMessageBox;
using wintest::WaitForMessageBox;

// The copier's two keys.
extern const char kStatusKey[];
extern const char kPrinterKey[];
void DeleteCopierKeys();
bool ReadDword(const char* key, const char* name, LONG* value);
void WriteDword(const char* key, const char* name, LONG value);
bool ReadBinary(const char* key, const char* name, std::vector<BYTE>* data);
void WriteBinary(const char* key, const char* name, const std::vector<BYTE>& data);
bool ValueExists(const char* key, const char* name);
// The printer blocks with their lengths, as the copier stores them.
void StorePrinter(const std::vector<BYTE>& devNames, const std::vector<BYTE>& devMode);
// A block stored under the Printer key, empty when there is none.
std::vector<BYTE> StoredPrinterBlock(const char* name);

// Printer blocks as the tests build them. PdfDevMode asks the PDF printer's
// driver (pdf_devmode.cpp: it loads the spooler, which a program without
// printers must not have loaded first).
std::vector<BYTE> DevNamesBlock(const char* device, const char* output, WORD flags);
std::vector<BYTE> PdfDevMode(bool landscape, std::string printer = wintest::TestPrinter());

// Centre of a window rectangle and of the primary work area.
POINT Centre(const RECT& r);
using wintest::WindowRect;
using wintest::WorkArea;

}  // namespace kopiwa
