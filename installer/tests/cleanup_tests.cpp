// The command line, and the two routines behind the clean-up roles: waiting
// to delete the target file, and removing the folder with its emptied parents.
#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "main_window.h"
#include "run_state.h"

namespace {

using wintest::Exists;

std::string TempPath(const std::string& name) { return wintest::TempFolder() + name; }

void Touch(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
}

void Parse(const char* commandLine) {
    ResetRunState();
    ParseCommandLine(commandLine);
}

}  // namespace

TEST(CommandLine, OptionsInAnyCaseLaterOnesWin) {
    Parse("\"C:\\Program Files\\Setup.exe\"");
    EXPECT_TRUE(InstallMode);
    EXPECT_FALSE(SilentMode);
    EXPECT_FALSE(IsCleanupRun());
    EXPECT_FALSE(NoRestartMode);
    Parse("Setup.exe -U -s");
    EXPECT_FALSE(InstallMode);
    EXPECT_TRUE(SilentMode);
    // Restarts are forbidden in any position and case; after a clean-up
    // option the word is that role's file instead.
    Parse("Setup.exe -NoRestart -u -s");
    EXPECT_TRUE(NoRestartMode);
    EXPECT_FALSE(InstallMode);
    Parse("Setup.exe -cleanupinstall -norestart");
    EXPECT_FALSE(NoRestartMode);
    EXPECT_STREQ(CleanupTarget, "-norestart");
    Parse("Setup.exe -i -u");
    EXPECT_FALSE(InstallMode);
    Parse("Setup.exe -u -I");
    EXPECT_TRUE(InstallMode);
    // A tab separates nothing, other words are ignored.
    Parse("Setup.exe -u\t-s /s --s x");
    EXPECT_TRUE(InstallMode);
    EXPECT_FALSE(SilentMode);
}

TEST(CommandLine, TheUninstallCleanupArgumentsAsTheInstallerBuildsThem) {
    Parse("-cleanupuninstall \"C:\\Program Files\\Harbel\\Kopiwa\\Hbuninst.exe\" "
          "\"C:\\Program Files\\Harbel\\Kopiwa\\\"1");
    EXPECT_TRUE(CleanupUninstallMode);
    EXPECT_FALSE(CleanupInstallMode);
    EXPECT_TRUE(IsCleanupRun());
    EXPECT_STREQ(CleanupTarget, "C:\\Program Files\\Harbel\\Kopiwa\\Hbuninst.exe");
    EXPECT_STREQ(CleanupDir, "C:\\Program Files\\Harbel\\Kopiwa\\");
    EXPECT_EQ(CleanupRestart, 1);
    Parse("-CleanupUninstall \"C:\\表\\Hbuninst.exe\" \"C:\\表\\\"0");
    EXPECT_STREQ(CleanupDir, "C:\\表\\");
    EXPECT_EQ(CleanupRestart, 0);
}

TEST(CommandLine, TheInstallCleanupArgument) {
    Parse("-cleanupinstall \"C:\\Temp\\Setup.exe\"");
    EXPECT_TRUE(CleanupInstallMode);
    EXPECT_STREQ(CleanupTarget, "C:\\Temp\\Setup.exe");
    // The later clean-up option decides the role.
    Parse("-cleanupinstall a -cleanupuninstall b c 2");
    EXPECT_FALSE(CleanupInstallMode);
    EXPECT_TRUE(CleanupUninstallMode);
    EXPECT_STREQ(CleanupTarget, "b");
    EXPECT_EQ(CleanupRestart, 2);
}

TEST(CommandLine, MissingOrOverlongArgumentsNameNothing) {
    Parse("Setup.exe -cleanupuninstall");
    EXPECT_TRUE(CleanupUninstallMode);
    EXPECT_STREQ(CleanupTarget, "");
    EXPECT_STREQ(CleanupDir, "");
    EXPECT_EQ(CleanupRestart, 0);
    Parse("-cleanupuninstall a b restart");
    EXPECT_EQ(CleanupRestart, 0);
    // A path longer than the buffer is not cut into another path.
    const std::string longPath = "C:\\" + std::string(300, 'p');
    Parse(("-cleanupuninstall \"" + longPath + "\" \"C:\\dir\\\"1").c_str());
    EXPECT_STREQ(CleanupTarget, "");
    EXPECT_STREQ(CleanupDir, "C:\\dir\\");
    EXPECT_EQ(CleanupRestart, 1);
    // A long command line is read whole.
    Parse(("Setup.exe " + std::string(2000, 'x') + " -s").c_str());
    EXPECT_TRUE(SilentMode);
}

TEST(Cleanup, AMissingOrReadOnlyTargetEndsTheWaitWithoutDeletion) {
    EXPECT_TRUE(DeleteCleanupTarget(TempPath("no-such-file.exe").c_str()));
    EXPECT_TRUE(DeleteCleanupTarget(""));
    const std::string readOnly = TempPath("read-only.exe");
    Touch(readOnly);
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteCleanupTarget(readOnly.c_str()));
    EXPECT_TRUE(Exists(readOnly));
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(readOnly.c_str());
    // A folder is not waited for either.
    EXPECT_TRUE(DeleteCleanupTarget(TempPath("").c_str()));
}

TEST(Cleanup, ATargetInUseIsTriedAgainUntilItCanBeDeleted) {
    const std::string target = TempPath("in-use.exe");
    Touch(target);
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteCleanupTarget(target.c_str()));
    EXPECT_TRUE(Exists(target));
    CloseHandle(held);
    EXPECT_TRUE(DeleteCleanupTarget(target.c_str()));
    EXPECT_FALSE(Exists(target));
}

TEST(Cleanup, TheFolderClimbStopsBelowTheStopFolder) {
    const std::string root = TempPath("PF");
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "\\Harbel").c_str(), nullptr);
    CreateDirectoryA((root + "\\Harbel\\Kopiwa").c_str(), nullptr);
    RemoveFolderAndEmptyParents((root + "\\Harbel\\Kopiwa\\").c_str(), root.c_str());
    EXPECT_FALSE(Exists(root + "\\Harbel"));
    EXPECT_TRUE(Exists(root)) << "the stop folder stays, though it is empty now";

    // The stop folder itself, named with a trailing backslash and another case.
    std::string upper = root;
    CharUpperA(&upper[0]);
    RemoveFolderAndEmptyParents((upper + "\\").c_str(), root.c_str());
    EXPECT_TRUE(Exists(root));
    RemoveDirectoryA(root.c_str());
}

TEST(Cleanup, TheClimbStopsAtTheFirstFolderThatIsNotEmpty) {
    const std::string root = TempPath("PF2");
    const std::string harbel = root + "\\Harbel";
    const std::string kopiwa = harbel + "\\Kopiwa";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(harbel.c_str(), nullptr);
    CreateDirectoryA(kopiwa.c_str(), nullptr);
    Touch(kopiwa + "\\Readme.txt");
    Touch(root + "\\other.txt");
    RemoveFolderAndEmptyParents((kopiwa + "\\").c_str(), root.c_str());
    EXPECT_TRUE(Exists(kopiwa)) << "a folder with a file stays, and nothing above it is tried";

    DeleteFileA((kopiwa + "\\Readme.txt").c_str());
    Touch(harbel + "\\Other.txt");
    RemoveFolderAndEmptyParents((kopiwa + "\\").c_str(), root.c_str());
    EXPECT_FALSE(Exists(kopiwa));
    EXPECT_TRUE(Exists(harbel));
    DeleteFileA((harbel + "\\Other.txt").c_str());
    RemoveDirectoryA(harbel.c_str());
    DeleteFileA((root + "\\other.txt").c_str());
    RemoveDirectoryA(root.c_str());
}

TEST(Cleanup, FolderNamesWithTrailBytes0x5CAreClimbedWhole) {
    // 表 ends in the byte 0x5C: "…\表\ソ" must climb to "…\表", not "…\\x95".
    const std::string root = TempPath("PF3");
    const std::string outer = root + "\\表";
    const std::string inner = outer + "\\ソ";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(outer.c_str(), nullptr);
    CreateDirectoryA(inner.c_str(), nullptr);
    RemoveFolderAndEmptyParents((inner + "\\").c_str(), root.c_str());
    EXPECT_FALSE(Exists(inner));
    EXPECT_FALSE(Exists(outer));
    EXPECT_TRUE(Exists(root));
    // A folder name ending in 表 keeps its last character when its trailing
    // backslash is taken off.
    CreateDirectoryA(outer.c_str(), nullptr);
    RemoveFolderAndEmptyParents(outer.c_str(), root.c_str());
    EXPECT_FALSE(Exists(outer));
    RemoveDirectoryA(root.c_str());
}

TEST(Cleanup, TheClimbNeverReachesADriveWhichWouldNameTheCurrentFolderThere) {
    // With the current folder on another drive, "C:" alone names the folder
    // last current on C (kept in the variable "=C:"): an empty folder that is
    // no part of the installation.
    const std::string bystander = TempPath("current-on-c");
    CreateDirectoryA(bystander.c_str(), nullptr);
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::string otherDrive = module;
    otherDrive.erase(otherDrive.rfind('\\'));
    ASSERT_NE(toupper(otherDrive[0]), 'C') << "the test program must lie on another drive";
    ASSERT_TRUE(SetCurrentDirectoryA(otherDrive.c_str()));
    SetEnvironmentVariableA("=C:", bystander.c_str());
    char resolved[MAX_PATH];
    GetFullPathNameA("C:", sizeof resolved, resolved, nullptr);
    EXPECT_EQ(std::string(resolved), bystander + "\\") << "the platform did not take the drive's current folder";

    const std::string product = "C:\\KopiwaClimbTest";
    CreateDirectoryA(product.c_str(), nullptr);
    RemoveFolderAndEmptyParents((product + "\\").c_str(), "C:\\Program Files");
    SetCurrentDirectoryA(previous);
    SetEnvironmentVariableA("=C:", nullptr);
    EXPECT_FALSE(Exists(product));
    EXPECT_TRUE(Exists(bystander)) << "the climb went on to \"C:\"";
    RemoveDirectoryA(bystander.c_str());
}

TEST(Cleanup, AnEmptyFolderArgumentRemovesNothing) {
    RemoveFolderAndEmptyParents("", "C:\\Program Files");
    EXPECT_TRUE(Exists("C:\\Program Files"));
}
