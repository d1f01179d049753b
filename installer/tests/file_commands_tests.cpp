// Tests of the file commands and the file routines the other commands share.
#include <gmock/gmock.h>

#include "commands.h"
#include "routines.h"
#include "commands_test_support.h"
#include "run_state.h"
#include "script.h"
#include "util.h"
#include "wintest.h"

using namespace cmdtest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class FileCommands : public CommandTest {
protected:
    // A source file of `size` bytes in the scratch folder; its name holds 表,
    // whose second byte is a backslash.
    std::string MakeSource(size_t size, const char* name = "元 表.txt") {
        const std::string path = scratch_ + "\\" + name;
        EXPECT_TRUE(WriteBytes(path, std::string(size, 's')));
        return path;
    }
};

TEST_F(FileCommands, CopyShowsItsThreeLinesAndCountsTheSourceSize) {
    ProgressStandIn progress;
    progress.FillWith("前の表示");
    const std::string source = MakeSource(1234);
    const std::string destination = scratch_ + "\\写し.txt";

    EXPECT_TRUE(RunLine(CopyCommand, "copy " + Quoted(source) + " " + Quoted(destination) +
                                         " \"KOPIWA 実行ファイル\"", progress.window()));
    EXPECT_EQ(progress.Line(1), "ファイルのコピー中です...");
    EXPECT_EQ(progress.Line(2), "ファイル名 : " + source) << "the source, never the destination";
    EXPECT_EQ(progress.Line(3), "KOPIWA 実行ファイル");
    EXPECT_EQ(ReadBytes(destination), std::string(1234, 's'));
    EXPECT_EQ(MeterDone, 1234u);

    // Without a description the third line is emptied.
    EXPECT_TRUE(RunLine(CopyCommand, "copy " + Quoted(source) + " " + Quoted(destination),
                        progress.window()));
    EXPECT_EQ(progress.Line(3), "");
    EXPECT_EQ(MeterDone, 2468u);
    EXPECT_THAT(Beeps(), IsEmpty());
}

TEST_F(FileCommands, NewerDestinationIsKeptWhenTheUserAnswersNoAndReplacedOnYes) {
    ProgressStandIn progress;
    const std::string source = MakeSource(100);
    const std::string destination = scratch_ + "\\新しい.txt";
    WriteBytes(destination, "newer");
    SetLastWriteTime(destination, Later(LastWriteTime(source), 60));
    const std::string line = "copy " + Quoted(source) + " " + Quoted(destination) + " 説明";
    {
        BoxWatcher watcher({IDNO}, &progress);
        EXPECT_TRUE(RunLine(CopyCommand, line, progress.window()));
        ASSERT_EQ(watcher.Boxes().size(), 1u);
        const SeenBox box = watcher.Boxes()[0];
        EXPECT_EQ(box.text, "新しいファイル" + destination + "が、すでに存在します。\n上書きしますか?");
        EXPECT_EQ(box.icon, Icon::Exclamation);
        EXPECT_THAT(box.buttons, ElementsAre(IDYES, IDNO));
        EXPECT_EQ(box.defaultButton, IDYES);
        EXPECT_EQ(box.owner, progress.window());
        // The lines were filled before the question was asked.
        EXPECT_THAT(box.progressLines, ElementsAre("ファイルのコピー中です...", "ファイル名 : " + source, "説明"));
    }
    EXPECT_EQ(ReadBytes(destination), "newer");
    EXPECT_EQ(MeterDone, 100u) << "a declined copy still moves the meter";
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONEXCLAMATION));
    {
        BoxWatcher watcher({IDYES});
        EXPECT_TRUE(RunLine(CopyCommand, line, progress.window()));
        EXPECT_EQ(watcher.Boxes().size(), 1u);
    }
    EXPECT_EQ(ReadBytes(destination), std::string(100, 's'));
    EXPECT_EQ(MeterDone, 200u);
}

TEST_F(FileCommands, MoveAsksTheSameQuestionAndDecliningLeavesBothFiles) {
    const std::string source = MakeSource(10);
    const std::string destination = scratch_ + "\\先.txt";
    WriteBytes(destination, "newer");
    SetLastWriteTime(destination, Later(LastWriteTime(source), 60));
    BoxWatcher watcher({IDNO});
    EXPECT_TRUE(RunLine(MoveCommand, "move " + Quoted(source) + " " + Quoted(destination)));
    ASSERT_EQ(watcher.Boxes().size(), 1u);
    EXPECT_EQ(watcher.Boxes()[0].text, "新しいファイル" + destination + "が、すでに存在します。\n上書きしますか?");
    EXPECT_TRUE(Exists(source));
    EXPECT_EQ(ReadBytes(destination), "newer");
    EXPECT_EQ(MeterDone, 10u);
}

TEST_F(FileCommands, ReplacesWithoutAskingWhenNotNewerOrInSilentMode) {
    const std::string source = MakeSource(20);
    const std::string destination = scratch_ + "\\先.txt";
    const std::string line = "copy " + Quoted(source) + " " + Quoted(destination);
    BoxWatcher watcher;

    WriteBytes(destination, "same time");
    SetLastWriteTime(destination, LastWriteTime(source));
    EXPECT_TRUE(RunLine(CopyCommand, line));
    EXPECT_EQ(ReadBytes(destination), std::string(20, 's')) << "equal times replace";

    WriteBytes(destination, "older");
    SetLastWriteTime(destination, Later(LastWriteTime(source), -60));
    EXPECT_TRUE(RunLine(CopyCommand, line));
    EXPECT_EQ(ReadBytes(destination), std::string(20, 's'));

    SilentMode = TRUE;
    WriteBytes(destination, "newer");
    SetLastWriteTime(destination, Later(LastWriteTime(source), 60));
    EXPECT_TRUE(RunLine(CopyCommand, line));
    EXPECT_EQ(ReadBytes(destination), std::string(20, 's')) << "silent runs overwrite";
    EXPECT_THAT(watcher.Boxes(), IsEmpty());
    EXPECT_THAT(Beeps(), IsEmpty());
    EXPECT_EQ(MeterDone, 60u);
}

TEST_F(FileCommands, MissingSourceIsNamedInAStopBoxAfterAnExclamationBeep) {
    WindowStandIn main;
    MainWindow = main.window();
    const std::string missing = scratch_ + "\\無い表.exe";
    const std::string destination = scratch_ + "\\先.exe";
    {
        BoxWatcher watcher;
        EXPECT_FALSE(RunLine(CopyCommand, "copy " + Quoted(missing) + " " + Quoted(destination)));
        EXPECT_FALSE(RunLine(MoveCommand, "move " + Quoted(missing) + " " + Quoted(destination)));
        // A folder cannot be opened for reading: it counts as missing.
        EXPECT_FALSE(RunLine(CopyCommand, "copy " + Quoted(scratch_) + " " + Quoted(destination)));
        const auto boxes = watcher.Boxes();
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[0].text, "コピーするファイル" + missing + "が見つかりません。");
        EXPECT_EQ(boxes[1].text, "移動するファイル" + missing + "が見つかりません。");
        EXPECT_EQ(boxes[2].text, "コピーするファイル" + scratch_ + "が見つかりません。");
        for (const SeenBox& box : boxes) {
            EXPECT_EQ(box.icon, Icon::Stop);
            EXPECT_THAT(box.buttons, ElementsAre(IDOK));
            EXPECT_EQ(box.owner, main.window()) << "no progress dialog: the main window owns it";
        }
    }
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONEXCLAMATION, MB_ICONEXCLAMATION, MB_ICONEXCLAMATION));
    EXPECT_FALSE(Exists(destination));
    EXPECT_EQ(MeterDone, 0u);

    ClearBeeps();
    SilentMode = TRUE;
    BoxWatcher watcher;
    EXPECT_FALSE(RunLine(CopyCommand, "copy " + Quoted(missing) + " " + Quoted(destination)));
    EXPECT_FALSE(RunLine(MoveCommand, "move " + Quoted(missing) + " " + Quoted(destination)));
    EXPECT_THAT(watcher.Boxes(), IsEmpty());
    EXPECT_THAT(Beeps(), IsEmpty());
}

TEST_F(FileCommands, FailedCopyOrMoveNamesTheSourceAfterAStopBeep) {
    ProgressStandIn progress;
    const std::string source = MakeSource(5);
    const std::string intoMissingFolder = scratch_ + "\\無い\\先.txt";
    {
        BoxWatcher watcher;
        EXPECT_FALSE(RunLine(CopyCommand, "copy " + Quoted(source) + " " + Quoted(intoMissingFolder),
                             progress.window()));
        EXPECT_FALSE(RunLine(MoveCommand, "move " + Quoted(source) + " " + Quoted(intoMissingFolder),
                             progress.window()));
        const auto boxes = watcher.Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].text, "ファイル" + source + "のコピーができませんでした。");
        EXPECT_EQ(boxes[1].text, "ファイル" + source + "の移動ができませんでした。");
        for (const SeenBox& box : boxes) {
            EXPECT_EQ(box.icon, Icon::Stop);
            EXPECT_THAT(box.buttons, ElementsAre(IDOK));
            EXPECT_EQ(box.owner, progress.window());
        }
    }
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONHAND, MB_ICONHAND));
    EXPECT_TRUE(Exists(source)) << "a failed move keeps its source";
    EXPECT_EQ(MeterDone, 0u);

    ClearBeeps();
    SilentMode = TRUE;
    BoxWatcher watcher;
    EXPECT_FALSE(RunLine(CopyCommand, "copy " + Quoted(source) + " " + Quoted(intoMissingFolder)));
    EXPECT_THAT(watcher.Boxes(), IsEmpty());
    EXPECT_THAT(Beeps(), IsEmpty());
}

TEST_F(FileCommands, MoveCopiesThenDeletesAndLeavesAReadOnlySourceBehind) {
    ProgressStandIn progress;
    const std::string source = MakeSource(30);
    const std::string destination = scratch_ + "\\移動先.txt";
    EXPECT_TRUE(RunLine(MoveCommand, "move " + Quoted(source) + " " + Quoted(destination), progress.window()));
    EXPECT_EQ(progress.Line(1), "ファイルの移動中です...");
    EXPECT_EQ(progress.Line(2), "ファイル名 : " + source);
    EXPECT_FALSE(Exists(source));
    EXPECT_EQ(ReadBytes(destination), std::string(30, 's'));
    EXPECT_EQ(MeterDone, 30u);

    const std::string readOnly = MakeSource(7, "読取専用.txt");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string second = scratch_ + "\\二つ目.txt";
    BoxWatcher watcher;
    EXPECT_TRUE(RunLine(MoveCommand, "move " + Quoted(readOnly) + " " + Quoted(second)));
    EXPECT_TRUE(Exists(readOnly)) << "the source could not be deleted and stays";
    EXPECT_EQ(ReadBytes(second), std::string(7, 's'));
    EXPECT_THAT(watcher.Boxes(), IsEmpty());
    EXPECT_EQ(MeterDone, 37u);
}

TEST_F(FileCommands, DelRemovesTheFileAndToleratesAMissingOne) {
    ProgressStandIn progress;
    const std::string file = MakeSource(3, "Kopiwa.gid");
    BoxWatcher watcher;
    EXPECT_TRUE(RunLine(DelCommand, "del " + Quoted(file) + " \"ヘルプ 補助ファイル\"", progress.window()));
    EXPECT_EQ(progress.Line(1), "ファイルの削除中です...");
    EXPECT_EQ(progress.Line(2), "ファイル名 : " + file);
    EXPECT_EQ(progress.Line(3), "ヘルプ 補助ファイル");
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(MeterDone, 1024u);

    EXPECT_TRUE(RunLine(DelCommand, "del " + Quoted(file), progress.window()));
    EXPECT_EQ(progress.Line(3), "");
    EXPECT_EQ(MeterDone, 2048u);
    EXPECT_THAT(watcher.Boxes(), IsEmpty());
}

TEST_F(FileCommands, MkdirMakesEveryMissingLevelAndShowsTheFolderWithoutItsBackslash) {
    ProgressStandIn progress;
    lstrcpyA(DefaultDir, (scratch_ + "\\表示\\Harbel\\Kopiwa").c_str());
    EXPECT_TRUE(RunLine(MkdirCommand, "mkdir \"%DEFDIR%\"", progress.window()));
    EXPECT_TRUE(IsFolder(scratch_ + "\\表示\\Harbel\\Kopiwa"));
    EXPECT_EQ(progress.Line(1), "フォルダの作成中です...");
    EXPECT_EQ(progress.Line(2), "フォルダ名 : " + scratch_ + "\\表示\\Harbel\\Kopiwa");
    EXPECT_EQ(progress.Line(3), "");
    EXPECT_EQ(MeterDone, 1024u);

    EXPECT_TRUE(RunLine(MkdirCommand, "mkdir \"%DEFDIR%\" 二度目", progress.window())) << "existing folders are fine";
    EXPECT_EQ(progress.Line(3), "二度目");
    EXPECT_EQ(MeterDone, 2048u);
}

TEST_F(FileCommands, RmdirRemovesOnlyAnEmptyFolder) {
    ProgressStandIn progress;
    const std::string full = scratch_ + "\\満杯";
    const std::string empty = scratch_ + "\\空表";
    CreateDirectoryA(full.c_str(), nullptr);
    WriteBytes(full + "\\file.txt", "x");
    CreateDirectoryA(empty.c_str(), nullptr);

    EXPECT_TRUE(RunLine(RmdirCommand, "rmdir " + Quoted(full + "\\"), progress.window()));
    EXPECT_TRUE(IsFolder(full));
    EXPECT_TRUE(RunLine(RmdirCommand, "rmdir " + Quoted(empty + "\\") + " 説明", progress.window()));
    EXPECT_FALSE(Exists(empty));
    EXPECT_EQ(progress.Line(1), "フォルダの削除中です...");
    EXPECT_EQ(progress.Line(2), "フォルダ名 : " + empty);
    EXPECT_EQ(progress.Line(3), "説明");
    EXPECT_EQ(MeterDone, 2048u);
}

// A path that only fits cut short must never reach the file system: cut at
// 259 bytes it may name another, existing file.
TEST_F(FileCommands, PathsCutShortAreNeverUsed) {
    const std::string prefix = scratch_ + "\\";
    const std::string victim = prefix + std::string(MAX_PATH - 1 - prefix.size(), 'v');
    ASSERT_EQ(victim.size(), static_cast<size_t>(MAX_PATH - 1));
    ASSERT_TRUE(WriteBytes(victim, "keep me"));
    const std::string longer = victim + "x";
    const std::string source = MakeSource(4);

    EXPECT_TRUE(RunLine(DelCommand, "del " + Quoted(longer)));
    EXPECT_EQ(ReadBytes(victim), "keep me");

    SilentMode = TRUE;
    EXPECT_FALSE(RunLine(CopyCommand, "copy " + Quoted(source) + " " + Quoted(longer)));
    EXPECT_EQ(ReadBytes(victim), "keep me");

    EXPECT_FALSE(RunLine(MoveCommand, "move " + Quoted(longer) + " " + Quoted(scratch_ + "\\moved")));
    EXPECT_TRUE(Exists(victim));
    EXPECT_FALSE(Exists(scratch_ + "\\moved"));

    // Variables too: %DEFDIR% plus the name overflows.
    lstrcpynA(DefaultDir, victim.c_str(), kPathSize);
    EXPECT_TRUE(RunLine(DelCommand, "del \"%DEFDIR%Kopiwa.exe\""));
    EXPECT_EQ(ReadBytes(victim), "keep me");
}

TEST(PathRoutines, StripTrailingBackslashStepsBackOneWholeCharacter) {
    struct Case {
        const char* path;
        const char* stripped;
    } cases[] = {
        {"C:\\Harbel\\", "C:\\Harbel"}, {"C:\\Harbel", "C:\\Harbel"}, {"C:\\表", "C:\\表"},
        {"C:\\表\\", "C:\\表"},         {"表", "表"},                 {"\\", ""},
        {"", ""},                        {"C:\\a\\\\", "C:\\a\\"},
    };
    for (const Case& c : cases) {
        char buffer[MAX_PATH];
        lstrcpyA(buffer, c.path);
        StripTrailingBackslash(buffer);
        EXPECT_STREQ(buffer, c.stripped) << c.path;
    }
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

TEST_F(FileCommands, MakeDirectoryPathKeepsADoubleByteNameWhole) {
    EXPECT_TRUE(MakeDirectoryPath((scratch_ + "\\表\\能表").c_str()));
    EXPECT_THAT(FolderNames(scratch_), ElementsAre("表")) << "0x5C inside 表 is no separator";
    EXPECT_THAT(FolderNames(scratch_ + "\\表"), ElementsAre("能表"));

    EXPECT_TRUE(MakeDirectoryPath((scratch_ + "\\A\\B\\").c_str()));
    EXPECT_TRUE(IsFolder(scratch_ + "\\A\\B"));
    EXPECT_TRUE(MakeDirectoryPath((scratch_ + "\\A\\B\\").c_str())) << "again: still true";
}

// Each folder MakeDirectoryPath asks for, with the rights it asks for it
// with; caught at the import, so nothing is made.
std::vector<std::string> g_foldersAsked;
BOOL WINAPI CatchCreateDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
    g_foldersAsked.push_back(std::string(path) + ": " +
                             wintest::DescribeRights(attributes ? attributes->lpSecurityDescriptor : nullptr));
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}

// Outside Program Files a folder would take the drive root's rights, which
// let every user change it: administrators and the system alone may, the
// rest read and run. Program Files' own rights protect what is made in it.
// (The test program, like Setup.exe, runs with an administrator's rights.)
TEST_F(FileCommands, FoldersMadeOutsideProgramFilesAreAnAdministratorsAlone) {
    wintest::ScopedImportRedirect redirect("KERNEL32.dll", "CreateDirectoryA",
                                           reinterpret_cast<void*>(CatchCreateDirectory));
    ASSERT_TRUE(redirect.active());
    const std::string rights =
        ": protected; allow S-1-5-32-544 1f01ff inherits; allow S-1-5-18 1f01ff inherits; allow S-1-1-0 1200a9 inherits";
    g_foldersAsked.clear();
    MakeDirectoryPath("C:\\アプリ\\一覧表");
    EXPECT_THAT(g_foldersAsked, ElementsAre("C:\\アプリ" + rights, "C:\\アプリ\\一覧表" + rights));
    g_foldersAsked.clear();
    const std::string programFiles = GetProgramFilesDir();
    MakeDirectoryPath((programFiles + "\\Harbel").c_str());
    EXPECT_THAT(g_foldersAsked, ElementsAre(programFiles + ": (none)", programFiles + "\\Harbel: (none)"));
}

TEST_F(FileCommands, GetFileInfoOpensForReadingLikeTheLegacyCall) {
    const std::string file = MakeSource(777);
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    DWORD attributes = 0, size = 0;
    FILETIME creation = {}, access = {}, write = {};
    ASSERT_TRUE(GetFileInfo(file.c_str(), &attributes, &creation, &access, &write, &size));
    EXPECT_EQ(size, 777u);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
    const FILETIME expected = LastWriteTime(file);
    EXPECT_EQ(CompareFileTime(&write, &expected), 0);
    EXPECT_TRUE(GetFileInfo(file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)) << "nothing asked for";

    EXPECT_FALSE(GetFileInfo((scratch_ + "\\無い").c_str(), &attributes, nullptr, nullptr, nullptr, &size));
    EXPECT_FALSE(GetFileInfo(scratch_.c_str(), &attributes, nullptr, nullptr, nullptr, &size));

    // Compatibility sharing: a file another program holds exclusively is absent.
    const std::string locked = MakeSource(1, "locked.txt");
    HANDLE exclusive = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(GetFileInfo(locked.c_str(), nullptr, nullptr, nullptr, nullptr, &size));
    CloseHandle(exclusive);
    // One that others may read and write is present.
    HANDLE shared = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_TRUE(GetFileInfo(locked.c_str(), nullptr, nullptr, nullptr, nullptr, &size));
    CloseHandle(shared);
}

BOOL WINAPI FailingGetFileTime(HANDLE, FILETIME*, FILETIME*, FILETIME*) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
DWORD WINAPI FailingGetFileSize(HANDLE, DWORD*) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_SIZE;
}

// Times or a size that cannot be read are not made up: the file counts as one
// that cannot be read, and neither the newer-file question nor the meter sees
// a value that was never given.
TEST_F(FileCommands, GetFileInfoFailsWhenTheTimesOrTheSizeCannotBeRead) {
    const std::string file = MakeSource(777);
    DWORD size = 0;
    FILETIME write = {};
    {
        wintest::ScopedImportRedirect failing("kernel32.dll", "GetFileTime",
                                              reinterpret_cast<void*>(FailingGetFileTime));
        ASSERT_TRUE(failing.active());
        EXPECT_FALSE(GetFileInfo(file.c_str(), nullptr, nullptr, nullptr, &write, &size));
        EXPECT_TRUE(GetFileInfo(file.c_str(), nullptr, nullptr, nullptr, nullptr, &size)) << "no time asked for";
    }
    {
        wintest::ScopedImportRedirect failing("kernel32.dll", "GetFileSize",
                                              reinterpret_cast<void*>(FailingGetFileSize));
        ASSERT_TRUE(failing.active());
        EXPECT_FALSE(GetFileInfo(file.c_str(), nullptr, nullptr, nullptr, &write, &size));
        EXPECT_TRUE(GetFileInfo(file.c_str(), nullptr, nullptr, nullptr, &write, nullptr)) << "no size asked for";
    }
    // A file of 4 GiB - 1 bytes reads all bits set without an error.
    const std::string big = scratch_ + "\\big.bin";
    HANDLE handle = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    LONG high = 0;
    SetFilePointer(handle, static_cast<LONG>(0xFFFFFFFF), &high, FILE_BEGIN);
    const bool sized = SetEndOfFile(handle) != FALSE;
    CloseHandle(handle);
    if (sized) {
        EXPECT_TRUE(GetFileInfo(big.c_str(), nullptr, nullptr, nullptr, nullptr, &size));
        EXPECT_EQ(size, 0xFFFFFFFFu);
    }
    DeleteFileA(big.c_str());
}

}  // namespace
