// The step run by the real window and message loop over scripts of the
// tests' own: section and platform rules, comments and unknown words, the
// directives, the end of the run, and scripts that cannot be run as written.
// The lines that ran are seen through defaultdirfromreg, which copies a test
// value from the registry into DefaultDir.
#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "run_harness.h"
#include "run_state.h"
#include "script.h"
#include "setup_texts.h"
#include "wintest.h"

using namespace setuptext;

namespace {

const char kWendleCaption[] = "Wendle セットアップ";

// A line that copies test value `name` into DefaultDir.
std::string Mark(const char* name) {
    return std::string("defaultdirfromreg 1 \"Software\\KopiwaTest\" \"") + name + "\"\n";
}

class Interpreter : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"outside", "install", "uninstall", "after", "95", "nt", "a", "b", "my value"})
            SetTestValue(name, name);
    }
    void TearDown() override { DeleteTestValues(); }

    // Runs `script` silently to its end and answers whatever it asks.
    std::string RunSilently(const std::string& script, const char* options = "", bool forceWin95 = false) {
        ScriptRun run(script, std::string("Setup.exe -s ") + options, [forceWin95] {
            if (forceWin95) IsNt = FALSE;
        });
        EXPECT_TRUE(run.WaitForEnd()) << script;
        return DefaultDir;
    }
};

const std::string kSections = Mark("outside") +
                              "startinstall\n" + Mark("install") + "endinstall\n"
                              "startuninstall\n" + Mark("uninstall") + "enduninstall\n"
                              "end\n";

}  // namespace

TEST_F(Interpreter, TheInstallSectionRunsInAnInstallRun) {
    EXPECT_EQ(RunSilently(kSections), "install");
    EXPECT_EQ(RunSilently(kSections, "-u -i"), "install") << "the later option wins";
}

TEST_F(Interpreter, TheUninstallSectionNeedsAnEarlierInstallation) {
    EXPECT_EQ(RunSilently(kSections, "-u"), "outside");
    EXPECT_EQ(RunSilently(Mark("outside") + "defaultdirchk\n" + kSections.substr(Mark("outside").size()), "-u"),
              "uninstall");
}

TEST_F(Interpreter, LinesOutsideTheSectionsRunInBothModes) {
    const std::string script = "startinstall\n" + Mark("install") + "endinstall\n" + Mark("after") + "end\n";
    EXPECT_EQ(RunSilently(script), "after");
    EXPECT_EQ(RunSilently(script, "-u"), "after");
}

TEST_F(Interpreter, PlatformBlocksFollowThePlatform) {
    const std::string script = "if95\n" + Mark("95") + "endif95\n" + Mark("outside") +
                               "ifnt\n" + Mark("nt") + "endifnt\n" + "end\n";
    EXPECT_TRUE(IsNt) << "Wine reports an NT-family version by default";
    EXPECT_EQ(RunSilently(script), "nt");
    EXPECT_EQ(RunSilently(script, "", true), "outside");
    const std::string reversed = "ifnt\n" + Mark("nt") + "endifnt\n" + "if95\n" + Mark("95") + "endif95\nend\n";
    EXPECT_EQ(RunSilently(reversed), "nt");
    EXPECT_EQ(RunSilently(reversed, "", true), "95");
}

TEST_F(Interpreter, MarkersAreFlagsThatDoNotNest) {
    // One endif95 clears the flag that two if95 lines set.
    EXPECT_EQ(RunSilently("if95\nif95\nendif95\n" + Mark("nt") + "end\n"), "nt");
    // An end marker without its start merely clears the flag.
    EXPECT_EQ(RunSilently("endinstall\nendifnt\n" + Mark("a") + "end\n"), "a");
}

TEST_F(Interpreter, EndInsideAnIf95BlockEndsTheRunOnNt) {
    RunSilently("if95\nend\nendif95\n" + Mark("after") + "end\n");
    EXPECT_STREQ(DefaultDir, "");
    EXPECT_EQ(ScriptLine, 2);
}

TEST_F(Interpreter, EndIsAKeywordInAnyCase) {
    for (const char* end : {"END", "End", "\teNd  trailing words"}) {
        RunSilently(std::string(end) + "\n" + Mark("after") + "end\n");
        EXPECT_STREQ(DefaultDir, "") << end;
        EXPECT_EQ(ScriptLine, 1) << end;
    }
}

TEST_F(Interpreter, CommentsUnknownWordsAndBlankLinesAreSkipped) {
    const std::string script = "# " + Mark("a") + "; " + Mark("a") + "\t# " + Mark("a") + "  #" + Mark("a") +
                               "defaultdirfromregg 1 \"Software\\KopiwaTest\" \"a\"\n"
                               "\n   \n"
                               "not a keyword\n"
                               "\tDefaultDirFromReg 1 \"Software\\KopiwaTest\" \"b\"\n"
                               "end\n";
    EXPECT_EQ(RunSilently(script), "b");
}

TEST_F(Interpreter, QuotedArgumentsMayHoldBlanks) {
    EXPECT_EQ(RunSilently("defaultdirfromreg 1 \"Software\\KopiwaTest\" \"my value\"\nend\n"), "my value");
    // Unquoted, "my" is the value name and "value" is never read.
    EXPECT_EQ(RunSilently("defaultdirfromreg 1 Software\\KopiwaTest my value\nend\n"), "");
}

TEST_F(Interpreter, DefaultDirFromRegFindsNothingOnIncompleteOrWrongLines) {
    const char* lines[] = {
        "defaultdirfromreg 1 \"Software\\KopiwaTest\"\n",       // no value name
        "defaultdirfromreg 1\n",                                 // no key
        "defaultdirfromreg\n",                                   // nothing
        "defaultdirfromreg 4 \"Software\\KopiwaTest\" \"a\"\n",  // no such root
        "defaultdirfromreg -1 \"Software\\KopiwaTest\" \"a\"\n",
        "defaultdirfromreg HKCU \"Software\\KopiwaTest\" \"a\"\n",  // a word reads as 0: classes root
        "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"missing\"\n",
        "defaultdirfromreg 1 \"Software\\NoSuchKey\" \"a\"\n",
    };
    for (const char* line : lines) {
        EXPECT_EQ(RunSilently(Mark("b") + line + "end\n"), "b") << line;
        EXPECT_EQ(ScriptLine, 3) << line;
    }
}

TEST_F(Interpreter, DefaultDirFromRegTakesTheValueAsTextWithinThePathBuffer) {
    const std::string longest(259, 'L');
    SetTestValue("longest", longest.c_str());
    EXPECT_EQ(RunSilently(Mark("longest") + "end\n"), longest);
    SetTestValue("toolong", std::string(260, 'T').c_str());
    EXPECT_EQ(RunSilently(Mark("b") + Mark("toolong") + "end\n"), "b");
    SetTestValue("empty", "");
    EXPECT_EQ(RunSilently(Mark("b") + Mark("empty") + "defaultdirchk\nend\n"), "");
    EXPECT_FALSE(PreviousInstall) << "an empty folder is no earlier installation";
}

TEST_F(Interpreter, DefaultDirChkSetsPreviousInstallOnlyWithAFolder) {
    RunSilently("defaultdirchk\nend\n");
    EXPECT_FALSE(PreviousInstall);
    RunSilently(Mark("a") + "defaultdirchk\nend\n");
    EXPECT_TRUE(PreviousInstall);
}

TEST_F(Interpreter, TheCaptionNamesTheApplicationAndTheMode) {
    RunSilently("appname \"コピー機\"\nend\n");
    EXPECT_STREQ(AppName, "コピー機");
    EXPECT_STREQ(Caption, "コピー機 セットアップ");
    RunSilently("appname \"コピー機\"\nend\n", "-u");
    EXPECT_STREQ(Caption, "コピー機 セットアップ (アンインストール)");
    RunSilently("end\n");
    EXPECT_STREQ(Caption, kWendleCaption);
}

// Unsafe input: a line that would do something but does not fit the line
// buffer stops the run, naming the line; it is not run cut short.
TEST_F(Interpreter, AnOverlongKeywordLineStopsTheRunNamingIt) {
    const std::string overlong = "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"b\" " + std::string(250, 'x') + "\n";
    ScriptRun run(Mark("a") + "# comment\n" + overlong + Mark("after") + "end\n", "Setup.exe -s");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), "セットアップスクリプトの3行目が長すぎます。");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_STREQ(DefaultDir, "a");
}

// A line that would be skipped is never read past its keyword: its length
// stops nothing. A marker always takes effect, so an overlong one still stops.
TEST_F(Interpreter, AnOverlongKeywordLineThatIsSkippedIsIgnored) {
    const std::string overlong = "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"b\" " + std::string(250, 'x') + "\n";
    EXPECT_EQ(RunSilently("startuninstall\n" + overlong + "enduninstall\n" + Mark("after") + "end\n"), "after")
        << "the uninstall section during an install";
    EXPECT_EQ(RunSilently("startinstall\n" + overlong + "endinstall\n" + Mark("after") + "end\n", "-u"), "after")
        << "the install section during an uninstall";
    EXPECT_EQ(RunSilently("if95\n" + overlong + "endif95\n" + Mark("after") + "end\n"), "after")
        << "an if95 block on NT";
    EXPECT_EQ(RunSilently("ifnt\n" + overlong + "endifnt\n" + Mark("after") + "end\n", "", true), "after")
        << "an ifnt block on Windows 95";

    // "end" ends the run wherever it stands: an overlong one, even in a block
    // that is skipped, is not passed over to run the lines after it.
    for (const std::string& line : {"endif95 " + std::string(300, 'x'), "end " + std::string(300, 'x')}) {
        ScriptRun run("if95\n" + line + "\nendif95\n" + Mark("after") + "end\n", "Setup.exe -s");
        EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), "セットアップスクリプトの2行目が長すぎます。") << line;
        EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_STREQ(DefaultDir, "") << line;
    }
}

TEST_F(Interpreter, AnOverlongLineThatIsNoKeywordIsIgnored) {
    const std::string script = "#" + std::string(400, 'c') + "\n" + "\t# " + std::string(400, 'c') + "\n" +
                               std::string(300, 'w') + "\n" + Mark("after") + "end\n";
    EXPECT_EQ(RunSilently(script), "after");
}

// Unsafe input: a script that runs out of lines without "end".
TEST_F(Interpreter, AScriptWithoutEndStopsWithAMessage) {
    ScriptRun run(Mark("a") + "# no end here\n", "Setup.exe -s");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), "セットアップスクリプトが途中で終わっています。");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_STREQ(DefaultDir, "a");
}

TEST_F(Interpreter, AnEmptyScriptStopsWithTheSameMessage) {
    ScriptRun run("", "Setup.exe -s");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), "セットアップスクリプトが途中で終わっています。");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
    EXPECT_TRUE(run.WaitForEnd());
}

TEST_F(Interpreter, AnEndLineWithoutALineBreakStillEndsTheRun) {
    EXPECT_EQ(RunSilently(Mark("a") + "end"), "a");
    EXPECT_EQ(ScriptLine, 2);
}

// Unsafe input: an argument whose expansion does not fit 259 bytes.
TEST_F(Interpreter, AnOverlongExpansionStopsTheRunNamingTheLine) {
    SetTestValue("long", std::string(200, 'd').c_str());
    ScriptRun run(Mark("long") + "welcome 0 0 \"%DEFDIR%%DEFDIR%\"\n" + Mark("after") + "end\n", "Setup.exe -s");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), "セットアップスクリプトの2行目が長すぎます。");
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(std::string(DefaultDir), std::string(200, 'd'));
}

// A folder that Windows cannot give within the path buffer is what the
// message names, not the line that asked for it.
TEST_F(Interpreter, AFolderThatWindowsCannotGiveIsNamedRatherThanTheLine) {
    char original[MAX_PATH] = "";
    const DWORD had = GetEnvironmentVariableA("TMP", original, sizeof original);
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", ("C:\\" + std::string(300, 't')).c_str()));
    const std::string scripts[] = {
        "welcome 0 0 \"%TMPDIR%Kopiwa\"\n" + Mark("after") + "end\n",
        "startmeter\ncopy \"%TMPDIR%Kopiwa.exe\" \"x\"\nendmeter\n" + Mark("after") + "end\n",
    };
    for (const std::string& script : scripts) {
        ScriptRun run(script, "Setup.exe -s");
        EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), "一時ファイルのフォルダのパスが長すぎるか、正しくありません。") << script;
        EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
        EXPECT_TRUE(run.WaitForEnd());
        EXPECT_STREQ(DefaultDir, "");
    }
    SetEnvironmentVariableA("TMP", had ? original : nullptr);
}

namespace {

UINT WINAPI NoWindowsDirectory(LPSTR, UINT) { return 0; }
UINT WINAPI OverlongWindowsDirectory(LPSTR, UINT) { return 300; }

}  // namespace

// A proposed folder without a drive goes on the Windows drive; when Windows
// does not tell its folder, nothing of an unfilled buffer becomes the drive.
TEST_F(Interpreter, AProposedFolderNeedsTheWindowsDrive) {
    for (void* function : {reinterpret_cast<void*>(NoWindowsDirectory),
                           reinterpret_cast<void*>(OverlongWindowsDirectory)}) {
        wintest::ScopedImportRedirect failing("kernel32.dll", "GetWindowsDirectoryA", function);
        ASSERT_TRUE(failing.active());
        ScriptRun run("welcome 0 0 \"Harbel\\Kopiwa\"\n" + Mark("after") + "end\n", "Setup.exe -s");
        EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), "Windowsフォルダのパスが長すぎるか、正しくありません。");
        EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
        EXPECT_TRUE(run.WaitForEnd());
        EXPECT_STREQ(DefaultDir, "");
    }
    ScriptRun run("welcome 0 0 \"Harbel\\Kopiwa\"\nend\n", "Setup.exe -s");
    EXPECT_TRUE(run.WaitForEnd());
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_EQ(std::string(DefaultDir), std::string(windows, 3) + "Harbel\\Kopiwa");
}

// ---------------------------------------------------------------------------
// chkclassexec

namespace {

const char kRunningText[] =
    "現在動作中のコピー機を発見しました。\nセットアップを継続するには、動作中のコピー機を、\n"
    "終了させてください。\n\nコピー機を終了させたら、[OK] を押してください。";
const char kCheckScript[] = "chkclassexec \"KopiwaTest Mutex\" \"コピー機\"\n"
                            "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"after\"\n"
                            "end\n";

}  // namespace

TEST_F(Interpreter, ChkClassExecAsksAgainUntilTheMutexIsGone) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "KopiwaTest Mutex");
    ASSERT_NE(mutex, nullptr);
    ScriptRun run(kCheckScript, "Setup.exe -s");
    // Silent: no question, it waits.
    Sleep(1500);
    EXPECT_FALSE(run.WaitForEnd(0));
    EXPECT_EQ(wintest::FindTopWindow(kRunningTitle, GetCurrentProcessId()), nullptr);
    CloseHandle(mutex);
    ASSERT_TRUE(run.WaitForEnd(10000));
    EXPECT_STREQ(DefaultDir, "after");
}

TEST_F(Interpreter, ChkClassExecAsksTheUserWhileTheApplicationRuns) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "KopiwaTest Mutex");
    ScriptRun run(kCheckScript);
    EXPECT_EQ(run.AnswerMessageBox(kRunningTitle, IDOK), kRunningText);
    // OK without quitting it: the same question again.
    HWND again = run.WaitForDialog(kRunningTitle);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(wintest::ControlText(again, 0xFFFF), kRunningText);
    CloseHandle(mutex);
    wintest::PostClick(again, IDOK);
    HWND done = run.WaitForDialog(kInstallDoneTitle);
    ASSERT_NE(done, nullptr);
    wintest::PostClick(done, IDOK);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_STREQ(DefaultDir, "after");
}

TEST_F(Interpreter, ChkClassExecFindsAWindowClassAndCancelStopsTheRun) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KopiwaTest Mutex";
    ASSERT_TRUE(RegisterClassA(&windowClass));
    HWND window = CreateWindowA("KopiwaTest Mutex", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ScriptRun run(kCheckScript);
    EXPECT_EQ(run.AnswerMessageBox(kRunningTitle, IDCANCEL), kRunningText);
    EXPECT_EQ(run.AnswerMessageBox(kWendleCaption, IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_STREQ(DefaultDir, "");
    DestroyWindow(window);
    UnregisterClassA("KopiwaTest Mutex", windowClass.hInstance);
}

TEST_F(Interpreter, ChkClassExecWithoutArgumentsHasNothingToWaitFor) {
    EXPECT_EQ(RunSilently("chkclassexec\n" + Mark("after") + "end\n"), "after");
}

// ---------------------------------------------------------------------------
// The end of the run and the clean-up program

namespace {

std::string ProbePath() { return wintest::BuildDir() + "\\installer\\tests\\args_probe.exe"; }

std::string ProbeOutputPath() { return wintest::TempFolder() + "args_probe.txt"; }

// What the probe wrote, once it has.
std::string ProbeCommandLine() {
    std::string text;
    wintest::WaitUntil(
        [&] {
            HANDLE file = CreateFileA(ProbeOutputPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) return false;
            char buffer[2048];
            DWORD read = 0;
            ReadFile(file, buffer, sizeof buffer, &read, nullptr);
            CloseHandle(file);
            text.assign(buffer, read);
            return read > 0;
        },
        10000);
    return text;
}

const char kCleanupArgs[] = "-cleanupuninstall \"C:\\App\\Hbuninst.exe\" \"C:\\App\\\"";

// An uninstall run at its end, with a clean-up program named.
std::function<void()> UninstallEnding(bool restartNeeded) {
    return [restartNeeded] {
        RestartNeeded = restartNeeded;
        lstrcpyA(CleanupProgram, ProbePath().c_str());
        lstrcpyA(CleanupArgs, kCleanupArgs);
    };
}

}  // namespace

TEST_F(Interpreter, TheRestartAnswerOfAnUninstallRunGoesToTheCleanupProgram) {
    for (int button : {IDOK, IDCANCEL}) {
        DeleteFileA(ProbeOutputPath().c_str());
        ScriptRun run("end\n", "Setup.exe -u", UninstallEnding(true));
        HWND page = run.WaitForDialog(kUninstallDoneTitle);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(wintest::ControlText(page, IDOK), "再起動");
        wintest::PostClick(page, button);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(ProbeCommandLine(), std::string(kCleanupArgs) + (button == IDOK ? "1" : "0"));
    }
}

TEST_F(Interpreter, AnUninstallRunWithoutRestartPassesZero) {
    DeleteFileA(ProbeOutputPath().c_str());
    ScriptRun run("end\n", "Setup.exe -u", UninstallEnding(false));
    HWND page = run.WaitForDialog(kUninstallDoneTitle);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(wintest::ControlText(page, IDOK), "終了");
    wintest::PostClick(page, IDOK);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(ProbeCommandLine(), std::string(kCleanupArgs) + "0");
}

TEST_F(Interpreter, ASilentUninstallRunCountsAsRestart) {
    DeleteFileA(ProbeOutputPath().c_str());
    ScriptRun run("end\n", "Setup.exe -u -s", UninstallEnding(true));
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(ProbeCommandLine(), std::string(kCleanupArgs) + "1");
}

TEST_F(Interpreter, AnAbortedRunStartsNoCleanupProgram) {
    DeleteFileA(ProbeOutputPath().c_str());
    ScriptRun run("welcome 0 0 \"C:\\x\"\nend\n", "Setup.exe -u", UninstallEnding(true));
    HWND page = run.WaitForDialog(kWelcomeTitle);
    ASSERT_NE(page, nullptr);
    wintest::PostClick(page, IDCANCEL);
    EXPECT_EQ(run.AnswerMessageBox("Wendle セットアップ (アンインストール)", IDOK), kAbortText);
    ASSERT_TRUE(run.WaitForEnd());
    Sleep(1000);
    EXPECT_EQ(GetFileAttributesA(ProbeOutputPath().c_str()), INVALID_FILE_ATTRIBUTES);
}
