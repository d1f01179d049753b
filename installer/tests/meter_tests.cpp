// The progress meter: measuring a block's work, the percentage in 64 bits,
// the progress dialog and its stop button, and a missing copy source.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "commands.h"
#include "files.h"
#include "meter.h"
#include "resource.h"
#include "run_harness.h"
#include "run_state.h"
#include "script.h"
#include "setup_texts.h"
#include "wizard.h"
#include "wintest.h"

using namespace setuptext;

namespace {

std::string TempPath(const char* name) { return wintest::TempFolder() + name; }

void WriteFileOfSize(const std::string& path, DWORD size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    std::string bytes(size, 'k');
    DWORD written = 0;
    WriteFile(file, bytes.data(), size, &written, nullptr);
    CloseHandle(file);
}

// Three copies of 100000 bytes, ten other weighted commands, and lines the
// measurement must not count: comments, unknown words, zero-weight lines, a
// copy of a missing file and a line too long to run in the other platform's
// block, and a copy of a missing file after endmeter (in the uninstall
// section, so that the install run itself never reaches it).
const char kMeterBlock[] =
    "startmeter\n"
    "\n"
    "# copy \"%TMPDIR%missing.bin\" \"x\"\n"
    "\tcopy \"%TMPDIR%meter1.bin\" \"%TMPDIR%meter1.out\" \"説明\"\n"
    "\tCOPY \"%TMPDIR%meter2.bin\" \"%TMPDIR%meter2.out\"\n"
    "\tmove \"%TMPDIR%meter3.bin\" \"%TMPDIR%meter3.out\"\n"
    "\tcopyfile \"%TMPDIR%missing.bin\" \"x\"\n"
    "if95\n"
    "\tcopy \"%TMPDIR%missing.bin\" \"x\"\n"
    "\tdel \"%TMPDIR%xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
    "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\"\n"
    "endif95\n"
    "\tmkdir \"%TMPDIR%meterdir\"\n"
    "\trmdir \"%TMPDIR%meterdir\"\n"
    "\tdel \"%TMPDIR%meter-none1\"\n"
    "\tdel \"%TMPDIR%meter-none2\"\n"
    "\tregcreatekey 1 \"Software\\KopiwaTest\\Meter\"\n"
    "\tregsetvalue 1 \"Software\\KopiwaTest\\Meter\" \"v\" 0 1\n"
    "\tregdelvalue 1 \"Software\\KopiwaTest\\Meter\" \"v\"\n"
    "\tregdeletekey 1 \"Software\\KopiwaTest\\Meter\"\n"
    "\taddicon \"%TMPDIR%meter1.bin\" \"\" \"meter\"\n"
    "\tdeleteicon \"\" \"meter\"\n"
    "\tddestart\n"
    "\tchkosversion 4 0\n"
    "endmeter\n"
    "startuninstall\n"
    "copy \"%TMPDIR%missing.bin\" \"x\"\n"
    "enduninstall\n"
    "end\n";

class Meter : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"meter1.bin", "meter2.bin", "meter3.bin"}) WriteFileOfSize(TempPath(name), 100000);
    }
    void TearDown() override {
        for (const char* name : {"meter1.bin", "meter2.bin", "meter3.bin", "meter1.out", "meter2.out", "meter3.out"})
            DeleteFileA(TempPath(name).c_str());
        DeleteTestValues();
    }
};

}  // namespace

TEST(MeterPercent, UsesSixtyFourBitsAndStaysWithinAHundred) {
    EXPECT_EQ(MeterPercent(100000, 310240), 32);
    EXPECT_EQ(MeterPercent(0, 310240), 0);
    EXPECT_EQ(MeterPercent(310240, 310240), 100);
    // 3e9 × 100 does not fit 32 bits.
    EXPECT_EQ(MeterPercent(3000000000u, 4000000000u), 75);
    EXPECT_EQ(MeterPercent(0xFFFFFFFFu, 0xFFFFFFFFu), 100);
    EXPECT_EQ(MeterPercent(50000000u, 100000000u), 50);
    EXPECT_EQ(MeterPercent(1, 0), 0);
    EXPECT_EQ(MeterPercent(500, 100), 100) << "work done beyond the measured total";
}

// The measured run: the total of the example block, counted by startmeter
// through the real step.
TEST_F(Meter, TheBlockMeasuresItsFileSizesAndWeights) {
    ScriptRun run(kMeterBlock, "Setup.exe -s");
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(MeterTotal, 3u * 100000 + 10 * 1024);
    EXPECT_EQ(MeterTotal, 310240u);
    EXPECT_EQ(ScriptLine, LineCount) << "the run reached its end line";
}

// The bar after the first copy of the example: 100000 of 310240 is 32 %; and
// a total whose product with 100 overflows 32 bits.
TEST_F(Meter, TheBarFollowsThePercentageAfterEachStep) {
    ResetRunState();
    IsNt = TRUE;  // as Wine reports it: the if95 block is not counted
    UseScriptText(kMeterBlock, sizeof kMeterBlock - 1);
    ScriptLine = 1;  // just after startmeter
    ASSERT_TRUE(StartMeterDirective(nullptr));
    ASSERT_NE(ProgressDialog, nullptr);
    EXPECT_EQ(MeterTotal, 310240u);
    HWND bar = GetDlgItem(ProgressDialog, IDC_PROGRESS_BAR);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);

    MeterDone = 100000;
    UpdateMeter(MeterPos);
    EXPECT_EQ(MeterPos, 32);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 32);

    MeterTotal = 4000000000u;
    MeterDone = 3000000000u;
    UpdateMeter(MeterPos);
    EXPECT_EQ(MeterPos, 75);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 75);

    EXPECT_TRUE(EndMeterDirective(ProgressDialog));
    EXPECT_EQ(ProgressDialog, nullptr);
    EXPECT_FALSE(IsWindow(GetParent(bar)));
}

namespace {

const char kMissingSourceScript[] =
    "startmeter\n"
    "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"first\"\n"
    "copy \"%TMPDIR%missing 表.bin\" \"%TMPDIR%x\"\n"
    "endmeter\n"
    "end\n";

}  // namespace

TEST_F(Meter, AMissingCopySourceStopsTheRunBeforeTheFirstCommand) {
    SetTestValue("first", "the first command ran");
    ScriptRun run(kMissingSourceScript);
    EXPECT_EQ(run.AnswerMessageBox("Wendle セットアップ", IDOK),
              "ファイル" + TempPath("missing 表.bin") + "が見つかりません。");
    EXPECT_EQ(wintest::FindTopWindow(kProgressTitle, GetCurrentProcessId()), nullptr);
    EXPECT_EQ(run.AnswerMessageBox("Wendle セットアップ", IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(ScriptLine, 1) << "the run stopped at startmeter";
    EXPECT_STREQ(DefaultDir, "");
}

TEST_F(Meter, ASilentRunReportsAMissingSourceOnlyWithTheAbortMessage) {
    ScriptRun run(kMissingSourceScript, "Setup.exe -s");
    EXPECT_EQ(run.AnswerMessageBox("Wendle セットアップ", IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(ScriptLine, 1);
}

// An uninstall passes silently over a file that an earlier one removed: its
// copy weighs nothing, and it needs no restart.
TEST_F(Meter, AnUninstallPassesOverSourcesAnEarlierRunRemoved) {
    SetTestValue("first", "the first command ran");
    std::string script = kMissingSourceScript;
    script.insert(script.find("endmeter"), "moveatreboot \"%TMPDIR%missing 表.bin\" \"NUL\"\n");
    ScriptRun run(script, "Setup.exe -u -s");
    ASSERT_TRUE(run.WaitForEnd()) << "no abort message to wait on";
    EXPECT_EQ(ScriptLine, LineCount);
    EXPECT_STREQ(DefaultDir, "the first command ran");
    EXPECT_EQ(MeterTotal, 0u);
    EXPECT_FALSE(RestartNeeded);
}

// A block without weighted commands measures 0: the meter opens and the run
// goes on.
TEST_F(Meter, ABlockWithNothingToMeasureDoesNotStopTheRun) {
    ScriptRun run("startmeter\n\tchkosversion 4 0\nendmeter\nend\n");
    HWND done = run.WaitForDialog(kInstallDoneTitle);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(ProgressDialog, nullptr) << "endmeter closed the meter";
    EXPECT_EQ(wintest::FindTopWindow(kProgressTitle, GetCurrentProcessId()), nullptr);
    wintest::PostClick(done, IDOK);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(MeterTotal, 0u);
}

// The stop button: the command that runs finishes, then the run stops and the
// next line never runs.
TEST_F(Meter, StopLetsTheRunningCommandFinishThenStopsTheRun) {
    SetTestValue("after", "after");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "KopiwaTest Meter");
    ScriptRun run(
        "startmeter\n"
        "chkclassexec \"KopiwaTest Meter\" \"計測中のアプリ\"\n"
        "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"after\"\n"
        "endmeter\n"
        "end\n");
    HWND progress = run.WaitForDialog(kProgressTitle);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(wintest::ControlText(progress, IDCANCEL), "中止");
    EXPECT_FALSE(IsWindowEnabled(MainWindow)) << "the meter disables the main window";
    HWND question = run.WaitForDialog(kRunningTitle);
    ASSERT_NE(question, nullptr);

    wintest::PostClick(progress, IDCANCEL);
    ASSERT_TRUE(WaitForGone(progress));
    EXPECT_TRUE(CancelRequested);
    CloseHandle(mutex);
    wintest::PostClick(question, IDOK);
    EXPECT_EQ(run.AnswerMessageBox("Wendle セットアップ", IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_STREQ(DefaultDir, "");
    EXPECT_EQ(ScriptLine, 2);
}

TEST_F(Meter, TheProgressDialogsCloseBoxStopsTheRunToo) {
    SetTestValue("after", "after");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "KopiwaTest Meter");
    ScriptRun run(
        "startmeter\n"
        "chkclassexec \"KopiwaTest Meter\" \"計測中のアプリ\"\n"
        "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"after\"\n"
        "end\n");
    HWND progress = run.WaitForDialog(kProgressTitle);
    ASSERT_NE(progress, nullptr);
    HWND question = run.WaitForDialog(kRunningTitle);
    ASSERT_NE(question, nullptr);
    PostMessageA(progress, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForGone(progress));
    CloseHandle(mutex);
    wintest::PostClick(question, IDOK);
    EXPECT_EQ(run.AnswerMessageBox("Wendle セットアップ", IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_STREQ(DefaultDir, "");
}

// A meter that the script never closes is closed at the end of the run.
TEST_F(Meter, TheEndOfTheRunClosesAMeterLeftOpen) {
    ScriptRun run("startmeter\nend\n");
    HWND done = run.WaitForDialog(kInstallDoneTitle);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(wintest::FindTopWindow(kProgressTitle, GetCurrentProcessId()), nullptr);
    wintest::PostClick(done, IDOK);
    ASSERT_TRUE(run.WaitForEnd());
}
