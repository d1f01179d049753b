// The wizard driven as a user drives it: pages found by their titles, Next,
// Back and Cancel clicked, texts and the run state checked afterwards.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "resource.h"
#include "run_harness.h"
#include "run_state.h"
#include "script.h"
#include "setup_texts.h"
#include "wintest.h"

using wintest::ControlText;

using namespace setuptext;

namespace {

const char kProposed[] = "C:\\Program Files\\Harbel\\Kopiwa";
const char kEarlier[] = "D:\\旧版\\表示";

// The wizard as the embedded script calls it, with an optional earlier
// installation found in the registry first, and a line after it that shows
// whether the run went on.
std::string WizardScript(const char* welcomeArguments = "3 1 \"%PRGDIR%Harbel\\Kopiwa\" \"注意書き\"") {
    return std::string("appname \"KOPIWA\"\n"
                       "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"earlier\"\n"
                       "defaultdirchk\n"
                       "welcome ") +
           welcomeArguments +
           "\n"
           "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"after\"\n"
           "end\n";
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override { SetTestValue("after", "after the wizard"); }
    void TearDown() override { DeleteTestValues(); }

    // Waits for the page, checks it is the one expected, clicks `button` and
    // waits until it has gone.
    HWND page_ = nullptr;
    bool At(ScriptRun& run, const char* title) {
        page_ = run.WaitForDialog(title);
        return page_ != nullptr;
    }
    void Click(int button) {
        HWND page = page_;
        wintest::PostClick(page, button);
        EXPECT_TRUE(WaitForGone(page));
    }
    void Next() { Click(IDOK); }
    void Back() { Click(IDC_BACK); }
    // A route through the pages: ">" clicks Next, "<" clicks Back, and a
    // title waits for that page.
    ::testing::AssertionResult Walk(ScriptRun& run, std::initializer_list<const char*> route) {
        for (const std::string step : route) {
            if (step == ">") Next();
            else if (step == "<") Back();
            else if (!At(run, step.c_str())) return ::testing::AssertionFailure() << "no page " << step;
        }
        return ::testing::AssertionSuccess();
    }
    void Cancel() { Click(IDCANCEL); }
    void Finish(ScriptRun& run, const char* title) {
        ASSERT_TRUE(At(run, title));
        Next();
        ASSERT_TRUE(run.WaitForEnd());
    }
    void ExpectAborted(ScriptRun& run, const char* caption = "KOPIWA セットアップ") {
        EXPECT_EQ(run.AnswerMessageBox(caption, IDOK), kAbortText);
        ASSERT_TRUE(run.WaitForEnd());
    }
};

}  // namespace

TEST_F(Wizard, AFreshInstallShowsEveryInstallPageInTurn) {
    ScriptRun run(WizardScript());
    ASSERT_TRUE(At(run, kWelcomeTitle));
    EXPECT_EQ(ControlText(page_, IDC_WELCOME_LINE1), "KOPIWAの世界にようこそ。");
    EXPECT_EQ(ControlText(page_, IDC_WELCOME_LINE2), "これからセットアップを開始します。");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page_, IDC_BACK)));
    Next();

    ASSERT_TRUE(At(run, kFolderTitle)) << "no selection page without an earlier installation";
    EXPECT_EQ(ControlText(page_, IDC_FOLDER_EDIT), kProposed);
    EXPECT_EQ(ControlText(page_, IDC_FOLDER_NOTE), "注意書き");
    Next();

    ASSERT_TRUE(At(run, kStartMenuTitle));
    EXPECT_EQ(ControlText(page_, IDC_STARTMENU_TEXT), "KOPIWAを、スタートメニューへ登録しますか?");
    EXPECT_EQ(IsDlgButtonChecked(page_, IDC_STARTMENU_YES), BST_CHECKED);
    Next();

    ASSERT_TRUE(At(run, kInstallConfirmTitle));
    EXPECT_EQ(ControlText(page_, IDC_INSTALL_CONFIRM_TEXT), "KOPIWAを、以下のフォルダにインストールします。");
    EXPECT_EQ(ControlText(page_, IDC_INSTALL_CONFIRM_FOLDER), kProposed);
    Next();

    ASSERT_TRUE(At(run, kInstallDoneTitle));
    EXPECT_EQ(ControlText(page_, IDOK), "終了");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page_, IDC_BACK)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page_, IDCANCEL)));
    Finish(run, kInstallDoneTitle);

    EXPECT_TRUE(InstallMode);
    EXPECT_TRUE(AddToStartMenu);
    EXPECT_STREQ(DefaultDir, "after the wizard");
    EXPECT_STREQ(FolderNote, "注意書き");
}

TEST_F(Wizard, BackRetracesThePagesAndTheAnswersAreKept) {
    ScriptRun run(WizardScript());
    ASSERT_TRUE(Walk(run, {kWelcomeTitle, ">", kFolderTitle, ">", kStartMenuTitle, ">", kInstallConfirmTitle, "<",
                           kStartMenuTitle, "<", kFolderTitle, "<", kWelcomeTitle, ">"}));

    ASSERT_TRUE(At(run, kFolderTitle));
    SetDlgItemTextA(page_, IDC_FOLDER_EDIT, "E:\\別の場所");
    Next();
    ASSERT_TRUE(At(run, kStartMenuTitle));
    wintest::PostClick(page_, IDC_STARTMENU_NO);
    EXPECT_TRUE(wintest::WaitUntil([&] { return IsDlgButtonChecked(page_, IDC_STARTMENU_NO) == BST_CHECKED; }));
    EXPECT_EQ(IsDlgButtonChecked(page_, IDC_STARTMENU_YES), BST_UNCHECKED);
    Next();
    ASSERT_TRUE(At(run, kInstallConfirmTitle));
    EXPECT_EQ(ControlText(page_, IDC_INSTALL_CONFIRM_FOLDER), "E:\\別の場所");
    Back();
    ASSERT_TRUE(At(run, kStartMenuTitle));
    EXPECT_EQ(IsDlgButtonChecked(page_, IDC_STARTMENU_YES), BST_CHECKED) << "the page opens with register checked";
    wintest::PostClick(page_, IDC_STARTMENU_NO);
    EXPECT_TRUE(wintest::WaitUntil([&] { return IsDlgButtonChecked(page_, IDC_STARTMENU_NO) == BST_CHECKED; }));
    Next();
    ASSERT_TRUE(At(run, kInstallConfirmTitle));
    Cancel();
    ExpectAborted(run);

    EXPECT_FALSE(AddToStartMenu);
    EXPECT_STREQ(DefaultDir, "E:\\別の場所") << "the line after welcome must not run";
}

TEST_F(Wizard, WithoutTheStartMenuFlagThatPageIsSkippedBothWays) {
    ScriptRun run(WizardScript("3 0 \"%PRGDIR%Harbel\\Kopiwa\""));
    ASSERT_TRUE(Walk(run, {kWelcomeTitle, ">", kFolderTitle}));
    EXPECT_EQ(ControlText(page_, IDC_FOLDER_NOTE), "") << "no note given";
    ASSERT_TRUE(Walk(run, {">", kInstallConfirmTitle, "<", kFolderTitle, ">", kInstallConfirmTitle, ">"}));
    Finish(run, kInstallDoneTitle);
    EXPECT_FALSE(AddToStartMenu);
}

TEST_F(Wizard, AnEarlierInstallationOffersTheSelectionAndItsFolder) {
    SetTestValue("earlier", kEarlier);
    ScriptRun run(WizardScript());
    ASSERT_TRUE(Walk(run, {kWelcomeTitle, ">", kSelectionTitle}));
    EXPECT_EQ(IsDlgButtonChecked(page_, IDC_SELECT_INSTALL), BST_CHECKED);
    Next();
    ASSERT_TRUE(At(run, kFolderTitle));
    EXPECT_EQ(ControlText(page_, IDC_FOLDER_EDIT), kEarlier) << "the recorded folder, not the proposed one";
    Back();
    ASSERT_TRUE(At(run, kSelectionTitle)) << "Back from the folder page leads to the selection";
    wintest::PostClick(page_, IDC_SELECT_UNINSTALL);
    EXPECT_TRUE(wintest::WaitUntil([&] { return IsDlgButtonChecked(page_, IDC_SELECT_UNINSTALL) == BST_CHECKED; }));
    Next();

    ASSERT_TRUE(At(run, kUninstallConfirmTitle));
    EXPECT_EQ(ControlText(page_, IDC_UNINSTALL_FOUND), "セットアップは、インストール済みのKOPIWAを見つけました。");
    EXPECT_EQ(ControlText(page_, IDC_UNINSTALL_FOLDER), kEarlier);
    EXPECT_EQ(ControlText(page_, IDC_UNINSTALL_TEXT), "このフォルダのKOPIWAを、アンインストールします。");
    Back();
    ASSERT_TRUE(At(run, kSelectionTitle)) << "an install run goes back to the selection";
    EXPECT_EQ(IsDlgButtonChecked(page_, IDC_SELECT_INSTALL), BST_CHECKED) << "it always opens with install";
    Back();
    ASSERT_TRUE(At(run, kWelcomeTitle));
    EXPECT_EQ(ControlText(page_, IDC_WELCOME_LINE2), "これからセットアップを開始します。");
    Next();
    ASSERT_TRUE(At(run, kSelectionTitle));
    wintest::PostClick(page_, IDC_SELECT_UNINSTALL);
    EXPECT_TRUE(wintest::WaitUntil([&] { return IsDlgButtonChecked(page_, IDC_SELECT_UNINSTALL) == BST_CHECKED; }));
    ASSERT_TRUE(Walk(run, {">", kUninstallConfirmTitle, ">"}));
    // The run is now an uninstall run: its finish page.
    Finish(run, kUninstallDoneTitle);
    EXPECT_FALSE(InstallMode);
    EXPECT_STREQ(Caption, "KOPIWA セットアップ") << "the caption keeps the command line's mode";
}

TEST_F(Wizard, BackToTheWelcomePageRestoresTheEntryMode) {
    SetTestValue("earlier", kEarlier);
    ScriptRun run(WizardScript());
    ASSERT_TRUE(Walk(run, {kWelcomeTitle, ">", kSelectionTitle}));
    wintest::PostClick(page_, IDC_SELECT_UNINSTALL);
    EXPECT_TRUE(wintest::WaitUntil([&] { return IsDlgButtonChecked(page_, IDC_SELECT_UNINSTALL) == BST_CHECKED; }));
    ASSERT_TRUE(Walk(run, {">", kUninstallConfirmTitle, "<", kSelectionTitle, "<", kWelcomeTitle, ">", kSelectionTitle}));
    Next();  // install, as the page opened
    ASSERT_TRUE(Walk(run, {kFolderTitle, ">", kStartMenuTitle, ">", kInstallConfirmTitle, ">"}));
    Finish(run, kInstallDoneTitle);
    EXPECT_TRUE(InstallMode);
}

TEST_F(Wizard, AnUninstallRunShowsTheWelcomeAndTheUninstallPages) {
    SetTestValue("earlier", kEarlier);
    ScriptRun run(WizardScript(), "Hbuninst.exe -u");
    ASSERT_TRUE(At(run, kWelcomeTitle));
    EXPECT_EQ(ControlText(page_, IDC_WELCOME_LINE2), "これからアンインストールを開始します。");
    EXPECT_EQ(wintest::WindowText(MainWindow), "KOPIWA セットアップ (アンインストール)");
    Next();
    ASSERT_TRUE(At(run, kUninstallConfirmTitle)) << "an uninstall run offers no selection";
    EXPECT_EQ(ControlText(page_, IDC_UNINSTALL_FOLDER), kEarlier);
    Back();
    ASSERT_TRUE(At(run, kWelcomeTitle)) << "an uninstall run goes back to the welcome page";
    ASSERT_TRUE(Walk(run, {">", kUninstallConfirmTitle, ">"}));
    Finish(run, kUninstallDoneTitle);
    EXPECT_FALSE(InstallMode);
}

TEST_F(Wizard, WithASelectionFlagOtherThan3BackFromTheFolderShowsItAgain) {
    SetTestValue("earlier", kEarlier);
    ScriptRun run(WizardScript("1 1 \"%PRGDIR%Harbel\\Kopiwa\""));
    ASSERT_TRUE(At(run, kWelcomeTitle));
    Next();
    ASSERT_TRUE(At(run, kFolderTitle)) << "no selection page";
    Back();
    ASSERT_TRUE(At(run, kFolderTitle)) << "the selection state passes straight on";
    Cancel();
    ExpectAborted(run);
}

TEST_F(Wizard, CancelOnAnyPageOrItsCloseBoxStopsTheRun) {
    SetTestValue("earlier", kEarlier);
    // How far to go before cancelling: the pages to pass with Next.
    const std::vector<std::vector<const char*>> paths = {
        {kWelcomeTitle},
        {kWelcomeTitle, kSelectionTitle},
        {kWelcomeTitle, kSelectionTitle, kFolderTitle},
        {kWelcomeTitle, kSelectionTitle, kFolderTitle, kStartMenuTitle},
        {kWelcomeTitle, kSelectionTitle, kFolderTitle, kStartMenuTitle, kInstallConfirmTitle},
    };
    for (const auto& path : paths) {
        for (bool closeBox : {false, true}) {
            ScriptRun run(WizardScript());
            for (size_t i = 0; i + 1 < path.size(); ++i) {
                ASSERT_TRUE(At(run, path[i]));
                Next();
            }
            ASSERT_TRUE(At(run, path.back()));
            if (closeBox)
                PostMessageA(page_, WM_CLOSE, 0, 0);
            else
                Cancel();
            ExpectAborted(run);
            EXPECT_STREQ(DefaultDir, kEarlier) << path.back();
        }
    }
    // And on the uninstall confirmation of an uninstall run.
    ScriptRun run(WizardScript(), "Setup.exe -u");
    ASSERT_TRUE(Walk(run, {kWelcomeTitle, ">", kUninstallConfirmTitle}));
    Cancel();
    ExpectAborted(run, "KOPIWA セットアップ (アンインストール)");
}

TEST_F(Wizard, ASilentRunShowsNoPageButFillsTheFolder) {
    ScriptRun run("welcome 3 1 \"%PRGDIR%Harbel\\Kopiwa\" \"注意書き\"\nend\n", "Setup.exe -s");
    ASSERT_TRUE(run.WaitForEnd(10000)) << "a page waited for a click";
    EXPECT_STREQ(DefaultDir, kProposed);
    EXPECT_FALSE(AddToStartMenu);
    EXPECT_TRUE(InstallMode);
}

TEST_F(Wizard, AFolderWithoutADriveGoesUnderTheWindowsDrivesRoot) {
    const struct {
        const char* proposed;
        const char* folder;
    } cases[] = {
        {"Harbel\\Kopiwa", "C:\\Harbel\\Kopiwa"},
        {"d:\\Apps", "d:\\Apps"},
        {"%WINDIR%Apps", "C:\\windows\\Apps"},
        {"表示\\ソフト", "C:\\表示\\ソフト"},
    };
    for (const auto& c : cases) {
        ScriptRun run(std::string("welcome 0 0 \"") + c.proposed + "\"\nend\n", "Setup.exe -s");
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_STREQ(DefaultDir, c.folder) << c.proposed;
    }
}

TEST_F(Wizard, ATypedFolderLongerThanThePathBufferIsRefused) {
    ScriptRun run(WizardScript());
    ASSERT_TRUE(Walk(run, {kWelcomeTitle, ">", kFolderTitle}));
    std::string folder = "C:\\";
    while (folder.size() < 260) folder += "表";  // 261 bytes
    SetDlgItemTextA(page_, IDC_FOLDER_EDIT, folder.c_str());
    wintest::PostClick(page_, IDOK);
    EXPECT_EQ(run.AnswerMessageBox("KOPIWA セットアップ", IDOK), "フォルダ名が長すぎます。");
    ASSERT_TRUE(IsWindowVisible(page_)) << "the page stays";
    folder.resize(folder.size() - 2);
    SetDlgItemTextA(page_, IDC_FOLDER_EDIT, folder.c_str());
    Next();
    ASSERT_TRUE(At(run, kStartMenuTitle));
    Cancel();
    ExpectAborted(run);
    EXPECT_EQ(std::string(DefaultDir), folder);
}

TEST_F(Wizard, PagesAreCentredOnTheMainWindow) {
    ScriptRun run(WizardScript());
    ASSERT_TRUE(At(run, kWelcomeTitle));
    RECT client, page;
    GetClientRect(MainWindow, &client);
    POINT centre = {(client.left + client.right) / 2, (client.top + client.bottom) / 2};
    ClientToScreen(MainWindow, &centre);
    GetWindowRect(page_, &page);
    EXPECT_EQ(page.left, centre.x - (page.right - page.left) / 2);
    EXPECT_EQ(page.top, centre.y - (page.bottom - page.top) / 2);
    EXPECT_EQ(GetWindow(page_, GW_OWNER), MainWindow);
    Cancel();
    ExpectAborted(run);
}
