// The progress meter: measuring the work of a block at startmeter, the
// progress dialog and its bar.
#include "meter.h"

#include <commctrl.h>

#include "commands/command_support.h"
#include "commands/commands.h"
#include "commands/routines.h"
#include "run_state.h"
#include "script.h"
#include "util.h"
#include "wizard.h"

void ShowProgressLines(HWND progressDialog, const char* action, const char* name,
                       const char* description) {
    if (!progressDialog) return;
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_ACTION, action ? action : "");
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_NAME, name ? name : "");
    SetDlgItemTextA(progressDialog, IDC_PROGRESS_DESCRIPTION, description ? description : "");
}

namespace {

// The wait cursor while the work is measured, whichever way that ends.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) { ShowCursor(TRUE); }
    ~WaitCursor() {
        ShowCursor(FALSE);
        SetCursor(previous_);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

enum Measurement { kMeasured, kSourceMissing, kMeasuredLineTooLong };

struct MeterWork {
    DWORD total;
    char missingPath[kPathSize];    // kSourceMissing: the expanded path
    int badLine;                    // kMeasuredLineTooLong: its number from 1
    UnavailableFolder unavailable;  // kMeasuredLineTooLong: a folder to blame instead
};

// The weight of one counted line whose keyword is `keyword`; for copy and
// move the size of the file the line's next token names.
Measurement LineWeight(int keyword, LineTokens& tokens, MeterWork& work, DWORD* weight) {
    *weight = KeywordTable[keyword].KeywordWeight;
    if (*weight != FileSizeWeight) return kMeasured;
    if (!ExpandVariables(work.missingPath, tokens.Next(kLineSeparators), kPathSize, &work.unavailable))
        return kMeasuredLineTooLong;
    DWORD attributes = 0;
    if (!GetFileInfo(work.missingPath, &attributes, nullptr, nullptr, nullptr, weight)) {
        // The command will pass over it: it weighs nothing.
        *weight = 0;
        return MissingSourceWasRemoved() ? kMeasured : kSourceMissing;
    }
    return kMeasured;
}

// Sums the weights of the lines from ScriptLine to endmeter under the platform
// rule (the section rule is not applied: a block lies inside one section).
Measurement MeasureMeterBlock(MeterWork& work) {
    WaitCursor waiting;
    BOOL in95 = FALSE;
    BOOL inNt = FALSE;
    work.total = 0;
    for (int n = ScriptLine; n < LineCount; ++n) {
        char line[kPathSize];
        const BOOL fits = ReadScriptLine(n, line, sizeof line);
        LineTokens tokens(line);
        const int keyword = FindKeyword(tokens.Next(kLineSeparators));
        if (keyword < 0) continue;
        work.badLine = n + 1;
        // A line of the other platform's block is not measured, whatever its
        // length; the markers and endmeter always count, so they must be whole.
        // The meter reads ahead of the run: it follows the blocks in flags of its own.
        const Marker* marker = FindMarker(keyword);
        const bool platform = marker && (marker->flag == &InIf95Block || marker->flag == &InIfNtBlock);
        if (!platform && keyword != kEndMeter && (IsNt ? in95 : inNt)) continue;
        if (!fits) return kMeasuredLineTooLong;
        if (keyword == kEndMeter) break;
        if (platform) {
            *(marker->flag == &InIf95Block ? &in95 : &inNt) = marker->value;
            continue;
        }
        DWORD weight = 0;
        const Measurement result = LineWeight(keyword, tokens, work, &weight);
        if (result != kMeasured) return result;
        work.total += weight;
    }
    return kMeasured;
}

void CloseProgressDialog() {
    if (!ProgressDialog) return;
    // The owner comes back first, so that activation returns to it.
    EnableWindow(MainWindow, TRUE);
    DestroyWindow(ProgressDialog);
    ProgressDialog = nullptr;
}

INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CenterOverMainWindow(dialog);
        SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return FALSE;
        [[fallthrough]];
    case WM_CLOSE:
        // The command that runs finishes; the step then stops the run.
        CancelRequested = TRUE;
        CloseProgressDialog();
        return TRUE;
    }
    return FALSE;
}

void OpenProgressDialog() {
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), MainWindow, ProgressProc, 0);
    if (!dialog) return;
    ProgressDialog = dialog;
    EnableWindow(MainWindow, FALSE);
    ShowWindow(dialog, SW_SHOW);
}

}  // namespace

BOOL StartMeterDirective(HWND) {
    CloseProgressDialog();  // a second startmeter replaces an open meter
    MeterWork work;
    switch (MeasureMeterBlock(work)) {
    case kSourceMissing:
        Message(nullptr, kNotFound, "ファイル%sが見つかりません。", work.missingPath);
        return FALSE;
    case kMeasuredLineTooLong:
        ReportExpansionFailure(work.badLine, work.unavailable);
        return FALSE;
    case kMeasured:
        break;
    }
    // A block without weighted commands measures 0 and opens a meter that
    // stays at 0: nothing is missing, so nothing stops the run.
    MeterTotal = work.total;
    MeterDone = 0;
    MeterPos = 0;
    if (!SilentMode) OpenProgressDialog();
    return TRUE;
}

BOOL EndMeterDirective(HWND) {
    CloseProgressDialog();
    return TRUE;
}

int MeterPercent(DWORD done, DWORD total) {
    if (total == 0) return 0;
    const ULONGLONG percent = static_cast<ULONGLONG>(done) * 100 / total;
    return percent > 100 ? 100 : static_cast<int>(percent);
}

void UpdateMeter(int oldPosition) {
    if (MeterTotal != 0) MeterPos = MeterPercent(MeterDone, MeterTotal);
    if (ProgressDialog && MeterPos != oldPosition)
        SendDlgItemMessageA(ProgressDialog, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(MeterPos), 0);
}
