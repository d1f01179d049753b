// Tests of the system commands: clean-up command lines, replacement at restart
// on both platform families (the NT list and WININIT.INI), and the platform
// and version checks on every Windows version Wine can report.
#include <gmock/gmock.h>

#include "commands.h"
#include "routines.h"
#include "commands_test_support.h"
#include "run_state.h"
#include "wintest.h"

using namespace cmdtest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::string SelfPath() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return self;
}

std::string TempFolderWithoutBackslash() {
    std::string folder = wintest::TempFolder();
    folder.pop_back();
    return folder;
}

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return length ? std::string(buffer, length) : path;
}

// Carries out the pending renames as a restart of Windows would.
void RestartWineStartUpWork() {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    wintest::Process wineboot;
    ASSERT_TRUE(wineboot.Start(std::string(system) + "\\wineboot.exe", "-r"));
    ASSERT_TRUE(wineboot.WaitForExit(120000));
}

std::vector<std::wstring> PendingRenames() {
    std::vector<std::wstring> entries;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return entries;
    std::vector<WCHAR> data(65536);
    DWORD size = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    DWORD type = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS) {
        // Pairs of texts, the second empty for a deletion, and one more zero
        // that ends the list.
        size_t count = size / sizeof(WCHAR);
        if (count > 0 && data[count - 1] == L'\0') --count;
        size_t start = 0;
        for (size_t i = 0; i < count; ++i) {
            if (data[i] != L'\0') continue;
            entries.emplace_back(data.data() + start, data.data() + i);
            start = i + 1;
        }
    }
    RegCloseKey(key);
    return entries;
}

using wintest::Wide;

// ---------------------------------------------------------------- clean-up

using SystemCommands = CommandTest;

TEST_F(SystemCommands, CleanupCommandLinesNameThisProgramAndTheFolder) {
    lstrcpyA(DefaultDir, "C:\\Program Files\\Harbel\\Kopiwa");
    EXPECT_TRUE(RunLine(CleanupInstallCommand, "cleanupinstall \"%TMPDIR%Hbuninst.exe\""));
    EXPECT_EQ(std::string(CleanupProgram), TempFolderWithoutBackslash() + "\\Hbuninst.exe");
    EXPECT_EQ(std::string(CleanupArgs), "-cleanupinstall \"" + SelfPath() + "\"");

    // Run as the installed uninstaller: the clean-up copy deletes this program.
    const std::string self = SelfPath();
    std::string folder = self.substr(0, self.rfind('\\'));
    CharLowerA(&folder[0]);
    lstrcpyA(DefaultDir, folder.c_str());
    EXPECT_TRUE(RunLine(CleanupUninstallCommand, "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"%DEFDIR%\""));
    EXPECT_EQ(std::string(CleanupProgram), TempFolderWithoutBackslash() + "\\Hbuninst.exe");
    EXPECT_EQ(std::string(CleanupArgs), "-cleanupuninstall \"" + self + "\" \"" + folder + "\\\"")
        << "the last one wins; the folder keeps the backslash the expansion gave it";

    // The end of an uninstall run appends the restart choice with no blank.
    lstrcatA(CleanupArgs, "1");
    EXPECT_EQ(std::string(CleanupArgs).substr(std::string(CleanupArgs).size() - 3), "\\\"1");

    EXPECT_TRUE(RunLine(CleanupUninstallCommand, "cleanupuninstall \"%SRCDIR%Second.exe\" \"%DEFDIR%\""));
    EXPECT_EQ(std::string(CleanupProgram), self.substr(0, self.rfind('\\')) + "\\Second.exe");
    EXPECT_TRUE(RestartNeeded == FALSE) << "naming a clean-up program asks for no restart";

    // The same folder written another way is still this program's folder,
    // also in its short (8.3) form, which GetFullPathNameA keeps short.
    std::string doubled = folder;
    doubled.insert(doubled.rfind('\\'), "\\");
    const std::string dotted = folder + "\\.";
    CharUpperA(&doubled[0]);
    char shortForm[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(folder.c_str(), shortForm, sizeof shortForm), 0u);
    ASSERT_NE(lstrcmpiA(shortForm, folder.c_str()), 0) << "the test's folder has no short form of its own";
    for (const std::string& written : {doubled, dotted, std::string(shortForm)}) {
        lstrcpyA(DefaultDir, written.c_str());
        EXPECT_TRUE(RunLine(CleanupUninstallCommand, "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"%DEFDIR%\""));
        EXPECT_EQ(std::string(CleanupArgs), "-cleanupuninstall \"" + self + "\" \"" + written + "\\\"") << written;
    }
}

// Run from anywhere but the installation folder (the distribution's Setup.exe
// turned into an uninstaller on the selection page), this program is not the
// installation's: the clean-up copy gets no file to delete, only the folder.
TEST_F(SystemCommands, ACleanupCopyNeverDeletesAProgramOutsideTheFolder) {
    lstrcpyA(DefaultDir, "C:\\Program Files\\Harbel\\Kopiwa");
    EXPECT_TRUE(RunLine(CleanupUninstallCommand, "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"%DEFDIR%\""));
    EXPECT_EQ(std::string(CleanupArgs), "-cleanupuninstall \"\" \"C:\\Program Files\\Harbel\\Kopiwa\\\"");

    // A folder whose name is only the start of this program's folder's name.
    const std::string self = SelfPath();
    const std::string folder = self.substr(0, self.rfind('\\'));
    lstrcpyA(DefaultDir, folder.substr(0, folder.size() - 1).c_str());
    EXPECT_TRUE(RunLine(CleanupUninstallCommand, "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"%DEFDIR%\""));
    EXPECT_EQ(std::string(CleanupArgs), "-cleanupuninstall \"\" \"" + std::string(DefaultDir) + "\\\"");
    // Nor does a folder given without its backslash take this one in.
    EXPECT_TRUE(RunLine(CleanupUninstallCommand,
                        "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"" + folder.substr(0, folder.size() - 1) + "\""));
    EXPECT_EQ(std::string(CleanupArgs), "-cleanupuninstall \"\" \"" + folder.substr(0, folder.size() - 1) + "\"");
    // But a folder above this program's takes it in.
    EXPECT_TRUE(RunLine(CleanupUninstallCommand,
                        "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"" + folder.substr(0, folder.rfind('\\')) + "\""));
    EXPECT_EQ(std::string(CleanupArgs),
              "-cleanupuninstall \"" + self + "\" \"" + folder.substr(0, folder.rfind('\\')) + "\"");
}

TEST_F(SystemCommands, CleanupPathsThatDoNotFitNameNoProgram) {
    lstrcpyA(DefaultDir, ("C:\\" + std::string(252, 'k')).c_str());
    EXPECT_TRUE(RunLine(CleanupUninstallCommand, "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"%DEFDIR%Sub\\\""));
    EXPECT_STREQ(CleanupProgram, "") << "a folder cut short would be another folder";
    EXPECT_STREQ(CleanupArgs, "");
    EXPECT_TRUE(RunLine(CleanupInstallCommand, "cleanupinstall \"%DEFDIR%Hbuninst.exe\""));
    EXPECT_STREQ(CleanupProgram, "");
    EXPECT_STREQ(CleanupArgs, "");
}

// ---------------------------------------------------------------- NT family

TEST_F(SystemCommands, MoveAtRebootOnNtGoesIntoThePendingRenameList) {
    const std::string doomed = scratch_ + "\\Hbuninst.exe";
    const std::string replacement = scratch_ + "\\新版.dll";
    const std::string replaced = scratch_ + "\\旧版.dll";
    WriteBytes(doomed, "uninstaller");
    WriteBytes(replacement, "new");
    WriteBytes(replaced, "old");
    BoxWatcher watcher;

    EXPECT_TRUE(RunLine(MoveAtRebootCommand, "moveatreboot " + Quoted(doomed) + " \"nul\""));
    EXPECT_TRUE(RestartNeeded);
    EXPECT_TRUE(RunLine(MoveAtRebootCommand, "moveatreboot " + Quoted(replacement) + " " + Quoted(replaced)));
    EXPECT_EQ(MeterDone, 0u);
    EXPECT_THAT(watcher.Boxes(), IsEmpty());

    const std::vector<std::wstring> pending = PendingRenames();
    ASSERT_EQ(pending.size() % 2, 0u);
    bool deletion = false, move = false;
    for (size_t i = 0; i + 1 < pending.size(); i += 2) {
        if (pending[i] == L"\\??\\" + Wide(doomed) && pending[i + 1].empty()) deletion = true;
        if (pending[i] == L"\\??\\" + Wide(replacement) && pending[i + 1] == L"!\\??\\" + Wide(replaced))
            move = true;  // "!" asks for an existing file to be replaced
    }
    EXPECT_TRUE(deletion) << "NUL schedules a deletion";
    EXPECT_TRUE(move);
    EXPECT_TRUE(Exists(doomed)) << "nothing happens before the restart";

    RestartWineStartUpWork();
    EXPECT_FALSE(Exists(doomed));
    EXPECT_FALSE(Exists(replacement));
    EXPECT_EQ(ReadBytes(replaced), "new");
}

TEST_F(SystemCommands, MoveAtRebootOfAMissingSourceStopsTheRun) {
    ProgressStandIn progress;
    const std::string missing = scratch_ + "\\無い表.exe";
    {
        BoxWatcher watcher;
        EXPECT_FALSE(RunLine(MoveAtRebootCommand, "moveatreboot " + Quoted(missing) + " NUL", progress.window()));
        ASSERT_EQ(watcher.Boxes().size(), 1u);
        const SeenBox box = watcher.Boxes()[0];
        EXPECT_EQ(box.text, "移動するファイル" + missing + "が見つかりません。");
        EXPECT_EQ(box.icon, Icon::Stop);
        EXPECT_THAT(box.buttons, ElementsAre(IDOK));
        EXPECT_EQ(box.owner, progress.window());
    }
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONEXCLAMATION));
    EXPECT_FALSE(RestartNeeded);

    SilentMode = TRUE;
    ClearBeeps();
    BoxWatcher watcher;
    EXPECT_FALSE(RunLine(MoveAtRebootCommand, "moveatreboot " + Quoted(missing) + " NUL"));
    EXPECT_THAT(watcher.Boxes(), IsEmpty());
    EXPECT_THAT(Beeps(), IsEmpty());
    EXPECT_FALSE(RestartNeeded);
}

// ---------------------------------------------------------------- WININIT.INI

class WininitRewrite : public CommandTest {
protected:
    // Runs the copy over `input`; the output's bytes, whether the entry went in.
    std::string Rewrite(const std::string& input, BOOL* entryWritten) {
        const std::string in = scratch_ + "\\in.ini", out = scratch_ + "\\out.ini";
        WriteBytes(in, input);
        HANDLE inFile = CreateFileA(in.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        HANDLE outFile = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        BOOL ioOk = TRUE;
        *entryWritten = CopyWithRenameEntry(inFile, outFile, "NUL=C:\\NEW.TMP", &ioOk);
        CloseHandle(inFile);
        CloseHandle(outFile);
        EXPECT_TRUE(ioOk);
        return ReadBytes(out);
    }
};

TEST_F(WininitRewrite, EntryComesFirstInTheSectionAndLongLinesStayWhole) {
    const std::string longBefore = "shell=" + std::string(3000, 'b');
    const std::string longAfter = "C:\\" + std::string(4000, 'a') + "=C:\\B.DLL";
    BOOL written = FALSE;
    const std::string output = Rewrite("[boot]\r\n" + longBefore + "\r\n\r\n[Rename]\r\nNUL=C:\\OLD1.TMP\r\n" +
                                           longAfter + "\nlast=line",
                                       &written);
    EXPECT_TRUE(written);
    EXPECT_EQ(output, "[boot]\r\n" + longBefore + "\r\n\r\n[Rename]\r\nNUL=C:\\NEW.TMP\r\nNUL=C:\\OLD1.TMP\r\n" +
                          longAfter + "\r\nlast=line")
        << "older entries stay, every line end becomes CR LF, a last line without one stays so";
}

TEST_F(WininitRewrite, WithoutTheExactSectionLineTheFileIsRewrittenUnchanged) {
    const std::string longLine = "data=" + std::string(5000, 'x');
    BOOL written = TRUE;
    const std::string output =
        Rewrite("[rename]\nNUL=C:\\LOWER.TMP\n [Rename]\n[Rename] \n[Rename]x\n" + longLine + "\nend", &written);
    EXPECT_FALSE(written) << "only a line that is exactly [Rename] is the section";
    EXPECT_EQ(output, "[rename]\r\nNUL=C:\\LOWER.TMP\r\n [Rename]\r\n[Rename] \r\n[Rename]x\r\n" + longLine + "\r\nend\r\n");

    EXPECT_EQ(Rewrite("", &written), "");
    EXPECT_FALSE(written);
    EXPECT_EQ(Rewrite("[Rename]", &written), "[Rename]\r\nNUL=C:\\NEW.TMP\r\n") << "a section line at the very end";
    EXPECT_TRUE(written);
}

TEST_F(WininitRewrite, AddsToTheFileOrMakesIt) {
    const std::string wininit = scratch_ + "\\WININIT.INI";
    EXPECT_TRUE(AddWininitRenameEntry(wininit.c_str(), "NUL", "C:\\FIRST.TMP"));
    EXPECT_EQ(ReadBytes(wininit), "[Rename]\r\nNUL=C:\\FIRST.TMP\r\n") << "a missing file is made";

    EXPECT_TRUE(AddWininitRenameEntry(wininit.c_str(), "NUL", "C:\\SECOND.TMP"));
    EXPECT_TRUE(AddWininitRenameEntry(wininit.c_str(), "C:\\A.DLL", "C:\\B.DLL"));
    EXPECT_EQ(ReadBytes(wininit), "[Rename]\r\nC:\\A.DLL=C:\\B.DLL\r\nNUL=C:\\SECOND.TMP\r\nNUL=C:\\FIRST.TMP\r\n")
        << "newest first, every older NUL line kept";

    // A file without the section keeps every line, long ones too, and then
    // gets the section from the profile call.
    const std::string longLine = "path=" + std::string(3000, 'p');
    WriteBytes(wininit, "[boot]\n" + longLine + "\nkey=value\n");
    EXPECT_TRUE(AddWininitRenameEntry(wininit.c_str(), "NUL", "C:\\THIRD.TMP"));
    const std::string text = ReadBytes(wininit);
    EXPECT_EQ(text.find("[boot]\r\n" + longLine + "\r\nkey=value\r\n"), 0u) << text.substr(0, 200);
    EXPECT_NE(text.find("[Rename]\r\nNUL=C:\\THIRD.TMP\r\n"), std::string::npos) << text;

    // No temporary file is left behind.
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((wintest::TempFolder() + "hbs*.tmp").c_str(), &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << data.cFileName;
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST_F(SystemCommands, MakeTempFileNameCreatesAnEmptyFileInTheTemporaryFolder) {
    const std::string first = MakeTempFileName();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.substr(0, first.rfind('\\')), TempFolderWithoutBackslash());
    EXPECT_TRUE(Exists(first));
    EXPECT_EQ(ReadBytes(first), "");
    const std::string second = MakeTempFileName();
    EXPECT_NE(first, second);
    DeleteFileA(first.c_str());
    DeleteFileA(second.c_str());
}

// ---------------------------------------------------------------- platforms

// The platform checks run in a copy of this program to which Wine reports
// another version of Windows (the version is fixed when a process starts).
// Each child runs one of the DISABLED_ tests below.
TEST(PlatformChecks, HoldOnEveryWindowsVersionWineReports) {
    const std::string self = SelfPath();
    const std::string exe = self.substr(self.rfind('\\') + 1);
    const struct {
        const char* version;
        const char* test;
    } runs[] = {{"win95", "Win95"}, {"win98", "Win98"}, {"nt351", "Nt351"},
                {"nt40", "Nt40"},   {"win2k", "Win2k"}, {"win31", "Win31"}};
    for (const auto& run : runs) {
        ASSERT_TRUE(wintest::SetReportedWindowsVersion(exe, run.version));
        const std::string report = wintest::ArtifactDir() + "\\platform-" + run.test + ".xml";
        wintest::Process child;
        ASSERT_TRUE(child.Start(self, std::string("--gtest_also_run_disabled_tests --gtest_filter=PlatformChild.DISABLED_") +
                                          run.test + " --gtest_output=xml:" + report));
        ASSERT_TRUE(child.WaitForExit(180000)) << run.version;
        const std::string xml = ReadBytes(report);
        EXPECT_EQ(child.ExitCode(), 0u) << run.version << ":\n" << xml;
        EXPECT_NE(xml.find("tests=\"1\" failures=\"0\""), std::string::npos) << "the child ran its one test";
    }
    wintest::SetReportedWindowsVersion(exe, "");
}

class PlatformChild : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        lstrcpyA(AppName, "KOPIWA");
        MainWindow = main_.window();
        SilentMode = TRUE;  // the platform checks speak even so
    }
    void ExpectVersion(DWORD platform, DWORD major, DWORD minor) {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        ASSERT_TRUE(GetVersionExA(&version));
        ASSERT_EQ(version.dwPlatformId, platform);
        ASSERT_EQ(version.dwMajorVersion, major);
        ASSERT_EQ(version.dwMinorVersion, minor);
    }
    void ExpectPasses(CommandHandler handler, const std::string& line) {
        ClearBeeps();
        BoxWatcher watcher;
        EXPECT_TRUE(RunLine(handler, line, progress_.window())) << line;
        EXPECT_THAT(watcher.Boxes(), IsEmpty()) << line;
    }
    void ExpectRefused(CommandHandler handler, const std::string& line, const std::string& text) {
        ClearBeeps();
        BoxWatcher watcher;
        EXPECT_FALSE(RunLine(handler, line, progress_.window())) << line;
        const auto boxes = watcher.Boxes();
        ASSERT_EQ(boxes.size(), 1u) << line;
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].icon, Icon::Stop);
        EXPECT_THAT(boxes[0].buttons, ElementsAre(IDOK));
        EXPECT_EQ(boxes[0].owner, main_.window()) << "the main window owns it, even with a meter open";
        EXPECT_THAT(Beeps(), ElementsAre(MB_ICONHAND));
    }

    WindowStandIn main_;
    ProgressStandIn progress_;
};

TEST_F(PlatformChild, DISABLED_Win95) {
    ExpectVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 0);
    ExpectPasses(ChkOsTypeCommand, "chkostype 0 3");
    ExpectPasses(ChkOsVersionCommand, "chkosversion 4 0");
    ExpectRefused(ChkOsVersionCommand, "chkosversion 4 10",
                  "KOPIWAは、Windows 95 (4.00)では動作しません。\nWindows 95 (4.10)を使用してください。");
    ExpectRefused(ChkOsTypeCommand, "chkostype 1 2",
                  "KOPIWAは、Windows 95では動作しません。\nWindows NTを使用してください。");

    // Two deletions at restart through WININIT.INI, the newer first.
    const std::string first = scratch_ + "\\Hbuninst.exe", second = scratch_ + "\\二番目の削除.tmp";
    WriteBytes(first, "1");
    WriteBytes(second, "2");
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string wininit = std::string(windows) + "\\WININIT.INI";
    DeleteFileA(wininit.c_str());
    SilentMode = FALSE;
    EXPECT_TRUE(RunLine(MoveAtRebootCommand, "moveatreboot " + Quoted(first) + " NUL"));
    EXPECT_TRUE(RunLine(MoveAtRebootCommand, "moveatreboot " + Quoted(second) + " \"NUL\""));
    EXPECT_TRUE(RestartNeeded);
    EXPECT_EQ(ReadBytes(wininit), "[Rename]\r\nNUL=" + ShortPath(second) + "\r\nNUL=" + ShortPath(first) + "\r\n");
    EXPECT_NE(ShortPath(second), second) << "short names go into the list";
    for (const std::wstring& entry : PendingRenames())
        EXPECT_EQ(entry.find(Wide(first)), std::wstring::npos) << "not in the NT list";

    RestartWineStartUpWork();
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(second));
}

TEST_F(PlatformChild, DISABLED_Win98) {
    ExpectVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    ExpectPasses(ChkOsTypeCommand, "chkostype 0 3");
    ExpectPasses(ChkOsVersionCommand, "chkosversion 4 0");
}

TEST_F(PlatformChild, DISABLED_Nt351) {
    ExpectVersion(VER_PLATFORM_WIN32_NT, 3, 51);
    ExpectPasses(ChkOsTypeCommand, "chkostype 0 3");
    ExpectRefused(ChkOsVersionCommand, "chkosversion 4 0",
                  "KOPIWAは、Windows NT 3.51では動作しません。\nWindows NT 4.00を使用してください。");
}

TEST_F(PlatformChild, DISABLED_Nt40) {
    ExpectVersion(VER_PLATFORM_WIN32_NT, 4, 0);
    ExpectPasses(ChkOsTypeCommand, "chkostype 0 3");
    ExpectPasses(ChkOsVersionCommand, "chkosversion 4 0");
    ExpectRefused(ChkOsTypeCommand, "chkostype 2 1",
                  "KOPIWAは、Windows NTでは動作しません。\nWindows 95を使用してください。");
}

TEST_F(PlatformChild, DISABLED_Win2k) {
    ExpectVersion(VER_PLATFORM_WIN32_NT, 5, 0);
    ExpectPasses(ChkOsTypeCommand, "chkostype 0 3");
    ExpectPasses(ChkOsVersionCommand, "chkosversion 4 0");
    ExpectRefused(ChkOsVersionCommand, "chkosversion 5 1",
                  "KOPIWAは、Windows NT 5.00では動作しません。\nWindows NT 5.01を使用してください。");
}

TEST_F(PlatformChild, DISABLED_Win31) {
    ExpectVersion(VER_PLATFORM_WIN32s, 3, 10);
    ExpectRefused(ChkOsTypeCommand, "chkostype 0 3",
                  "KOPIWAは、Windows 3.1では動作しません。\nWindows 95またはWindows NTを使用してください。");
    ExpectPasses(ChkOsVersionCommand, "chkosversion 4 0");  // Win32s has no version check
}

}  // namespace
