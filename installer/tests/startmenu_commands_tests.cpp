// Tests of the Start-menu commands: folders and shortcut files in the test
// prefix's Programs folder, read back through the shell link object.
#include <gmock/gmock.h>
#include <shlobj.h>

#include "commands.h"
#include "routines.h"
#include "commands_test_support.h"
#include "registry.h"
#include "run_state.h"
#include "wintest.h"

using namespace cmdtest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class StartMenuCommands : public CommandTest {
protected:
    static void SetUpTestSuite() {
        // Wine mirrors Start-menu shortcuts into the Unix desktop's menus
        // through winemenubuilder; the tests keep the host's menus untouched.
        wintest::WriteRegistryText(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", "winemenubuilder.exe", "");
    }
    void SetUp() override {
        CommandTest::SetUp();
        char folder[MAX_PATH] = "";
        ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAMS, TRUE));
        programs_ = folder;
        RemoveTree(programs_ + "\\" + group_);
        DeleteFileA((programs_ + "\\" + item_ + ".lnk").c_str());
        lstrcpyA(DefaultDir, scratch_.c_str());
        target_ = scratch_ + "\\Kopiwa.exe";
        WriteBytes(target_, "MZ");
    }

    std::string programs_;
    std::string target_;
    const std::string group_ = "ハーベル試験";
    const std::string item_ = "KOPIWA試験";
};

TEST_F(StartMenuCommands, ProgramsFolderHasNoTrailingBackslash) {
    char folder[MAX_PATH];
    ASSERT_TRUE(GetProgramsFolder(folder));
    EXPECT_EQ(folder, programs_);
    char path[MAX_PATH];
    ASSERT_TRUE(ShortcutPath(path, "", "KOPIWA"));
    EXPECT_EQ(std::string(path), programs_ + "\\KOPIWA.lnk");
    ASSERT_TRUE(ShortcutPath(path, "G", "KOPIWA"));
    EXPECT_EQ(std::string(path), programs_ + "\\G\\KOPIWA.lnk");
    EXPECT_FALSE(ShortcutPath(path, std::string(300, 'g').c_str(), "KOPIWA")) << "too long to name";
}

TEST_F(StartMenuCommands, NothingHappensWithoutTheUsersConsent) {
    ProgressStandIn progress;
    progress.FillWith("前の表示");
    EXPECT_TRUE(RunLine(DdeStartCommand, "ddestart"));
    EXPECT_FALSE(AddToStartMenu) << "an install run keeps the user's answer";

    EXPECT_TRUE(RunLine(AddIconCommand, "addicon \"%DEFDIR%Kopiwa.exe\" \"\" " + Quoted(item_), progress.window()));
    EXPECT_TRUE(RunLine(CreateGroupCommand, "creategroup " + Quoted(group_), progress.window()));
    EXPECT_FALSE(Exists(programs_ + "\\" + item_ + ".lnk"));
    EXPECT_FALSE(Exists(programs_ + "\\" + group_));
    EXPECT_EQ(progress.Line(1), "前の表示") << "no progress line either";
    EXPECT_EQ(MeterDone, 0u) << "and no weight";

    InstallMode = FALSE;
    EXPECT_TRUE(RunLine(DdeStartCommand, "ddestart"));
    EXPECT_TRUE(AddToStartMenu) << "removal always acts";
}

TEST_F(StartMenuCommands, AddIconMakesALinkWhoseTargetAndDescriptionReadBack) {
    AddToStartMenu = TRUE;
    ProgressStandIn progress;
    progress.FillWith("前の表示");
    EXPECT_TRUE(RunLine(AddIconCommand, "addicon \"%DEFDIR%Kopiwa.exe\" \"\" " + Quoted(item_), progress.window()));
    EXPECT_EQ(progress.Line(1), "スタートメニューの更新中です...");
    EXPECT_EQ(progress.Line(2), "");
    EXPECT_EQ(progress.Line(3), "");
    EXPECT_EQ(MeterDone, 1024u);

    const std::string link = programs_ + "\\" + item_ + ".lnk";
    const wintest::Shortcut shortcut = wintest::ReadShortcut(link);
    ASSERT_TRUE(shortcut.read) << link;
    EXPECT_EQ(shortcut.target, target_);
    EXPECT_EQ(shortcut.description, item_);
    EXPECT_EQ(shortcut.arguments, "");
    EXPECT_EQ(shortcut.workingFolder, "");

    progress.FillWith("前の表示");
    EXPECT_TRUE(RunLine(DeleteIconCommand, "deleteicon \"\" " + Quoted(item_), progress.window()));
    EXPECT_EQ(progress.Line(1), "スタートメニューの更新中です...");
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(RunLine(DeleteIconCommand, "deleteicon \"\" " + Quoted(item_))) << "already gone";
    EXPECT_EQ(MeterDone, 3u * 1024u);
}

TEST_F(StartMenuCommands, GroupIsMadeOnceAndGoesWhenEmpty) {
    AddToStartMenu = TRUE;
    ProgressStandIn progress;
    const std::string folder = programs_ + "\\" + group_;
    const std::string link = folder + "\\" + item_ + ".lnk";

    EXPECT_TRUE(RunLine(CreateGroupCommand, "creategroup " + Quoted(group_), progress.window()));
    EXPECT_EQ(progress.Line(1), "スタートメニューの更新中です...");
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_TRUE(RunLine(AddIconCommand, "addicon \"%DEFDIR%Kopiwa.exe\" " + Quoted(group_) + " " + Quoted(item_)));
    EXPECT_EQ(wintest::ReadShortcut(link).target, target_);

    EXPECT_TRUE(RunLine(DeleteGroupCommand, "deletegroup " + Quoted(group_)));
    EXPECT_TRUE(IsFolder(folder)) << "a group that holds a shortcut stays";
    EXPECT_EQ(MeterDone, 3u * 1024u);
    {
        BoxWatcher watcher;
        EXPECT_FALSE(RunLine(CreateGroupCommand, "creategroup " + Quoted(group_), progress.window()));
        ASSERT_EQ(watcher.Boxes().size(), 1u);
        const SeenBox box = watcher.Boxes()[0];
        EXPECT_EQ(box.text, "スタートメニューへの「" + group_ + "」項目の追加ができませんでした。");
        EXPECT_EQ(box.icon, Icon::Stop);
        EXPECT_THAT(box.buttons, ElementsAre(IDOK));
        EXPECT_EQ(box.owner, progress.window());
    }
    EXPECT_THAT(Beeps(), ElementsAre(MB_ICONEXCLAMATION));
    EXPECT_EQ(MeterDone, 3u * 1024u) << "a failed group adds nothing";

    SilentMode = TRUE;
    ClearBeeps();
    {
        BoxWatcher watcher;
        EXPECT_FALSE(RunLine(CreateGroupCommand, "creategroup " + Quoted(group_)));
        EXPECT_THAT(watcher.Boxes(), IsEmpty());
    }
    EXPECT_THAT(Beeps(), IsEmpty());

    EXPECT_TRUE(RunLine(DeleteIconCommand, "deleteicon " + Quoted(group_) + " " + Quoted(item_)));
    EXPECT_TRUE(RunLine(DeleteGroupCommand, "deletegroup " + Quoted(group_)));
    EXPECT_FALSE(Exists(folder));

    // A group whose folder is missing: the save fails, the step goes on.
    EXPECT_TRUE(RunLine(AddIconCommand, "addicon \"%DEFDIR%Kopiwa.exe\" " + Quoted(group_) + " " + Quoted(item_)));
    EXPECT_FALSE(Exists(link));
}

}  // namespace
