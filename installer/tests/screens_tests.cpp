// Every page, final page and the progress dialog as the user sees them: each
// text must fit its control in the font the dialog really uses, and a
// screenshot of each is kept in the test's artifact folder for a person to
// look at.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "meter.h"
#include "resource.h"
#include "run_harness.h"
#include "run_state.h"
#include "setup_texts.h"
#include "wizard.h"
#include "wintest.h"

using namespace setuptext;

namespace {

// The room a text needs in `control`'s font when laid out in `width` pixels.
SIZE NeededSize(HWND control, const std::string& text, int width, UINT flags) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    RECT r = {0, 0, width, 0};
    DrawTextA(dc, text.c_str(), -1, &r, flags | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

struct Fit {
    HWND page;
    std::vector<std::string> problems;
};

BOOL CALLBACK CheckControl(HWND control, LPARAM param) {
    Fit* fit = reinterpret_cast<Fit*>(param);
    const std::string text = wintest::WindowText(control);
    if (text.empty()) return TRUE;
    const std::string className = wintest::ClassName(control);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    RECT client;
    GetClientRect(control, &client);
    int width = client.right;
    int height = client.bottom;
    UINT flags = DT_EXPANDTABS;
    if (className == "Static") {
        if ((style & SS_TYPEMASK) != SS_LEFT) return TRUE;
        flags |= DT_WORDBREAK;
        if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
        // Lines that shorten a long text with "..." need one line's height.
        if (style & SS_ELLIPSISMASK) {
            flags = DT_SINGLELINE;
            width = 10000;
        }
    } else if (className == "Button") {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) {
            width -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
            flags |= (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
        } else if (type == BS_GROUPBOX) {
            width -= 16;
            height = client.bottom;
            flags |= DT_SINGLELINE;
        } else {
            width -= 6;
            height -= 4;
            flags |= DT_SINGLELINE;
        }
    } else {
        return TRUE;
    }
    const SIZE needed = NeededSize(control, text, width, flags);
    if (needed.cx > width || needed.cy > height)
        fit->problems.push_back("control " + std::to_string(GetDlgCtrlID(control)) + " \"" + text + "\" needs " +
                                std::to_string(needed.cx) + "x" + std::to_string(needed.cy) + ", has " +
                                std::to_string(width) + "x" + std::to_string(height));
    return TRUE;
}

// Checks that every text of `page` fits, and keeps a screenshot of it.
void Inspect(HWND page, const std::string& name) {
    ASSERT_NE(page, nullptr) << name;
    Fit fit{page, {}};
    EnumChildWindows(page, CheckControl, reinterpret_cast<LPARAM>(&fit));
    for (const std::string& problem : fit.problems) ADD_FAILURE() << name << ": " << problem;
    RedrawWindow(page, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(400);
    EXPECT_FALSE(wintest::Screenshot(name, page).empty()) << name;
}

// The common frame of every page.
void ExpectFrame(HWND page) {
    RECT r = {0, 0, 267, 223};
    MapDialogRect(page, &r);
    RECT client;
    GetClientRect(page, &client);
    EXPECT_EQ(client.right, r.right);
    EXPECT_EQ(client.bottom, r.bottom);
    EXPECT_EQ(wintest::ControlText(page, IDC_BACK), "< 戻る(&B)");
    HWND picture = GetDlgItem(page, IDC_SIDE_PICTURE);
    ASSERT_NE(picture, nullptr);
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP info = {};
    ASSERT_TRUE(bitmap && GetObjectA(bitmap, sizeof info, &info));
    EXPECT_EQ(info.bmWidth, 120);
    EXPECT_EQ(info.bmHeight, 260);
    // The picture must not run into the texts at x = 88 nor below the separator.
    RECT pictureRect, textStart = {88, 192, 0, 0};
    GetWindowRect(picture, &pictureRect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&pictureRect), 2);
    MapDialogRect(page, &textStart);
    EXPECT_LE(pictureRect.right, textStart.left);
    EXPECT_LE(pictureRect.bottom, textStart.top);
}

class Screens : public ::testing::Test {
protected:
    void SetUp() override { SetTestValue("earlier", "C:\\Program Files\\Harbel\\Kopiwa"); }
    void TearDown() override { DeleteTestValues(); }

    HWND Page(ScriptRun& run, const char* title) { return run.WaitForDialog(title); }
    void Next(HWND page) {
        wintest::PostClick(page, IDOK);
        WaitForGone(page);
    }
};

const char kScript[] =
    "appname \"KOPIWA\"\n"
    "defaultdirfromreg 1 \"Software\\KopiwaTest\" \"earlier\"\n"
    "defaultdirchk\n"
    "welcome 3 1 \"%PRGDIR%Harbel\\Kopiwa\" \"旧バージョンのKOPIWAは、このフォルダにあります。\"\n"
    "end\n";

}  // namespace

TEST_F(Screens, TheInstallPages) {
    ScriptRun run(kScript, "Setup.exe", [] { RestartNeeded = TRUE; });
    const struct {
        const char* title;
        const char* name;
    } pages[] = {
        {kWelcomeTitle, "page130_welcome"},
        {kSelectionTitle, "page131_selection"},
        {kFolderTitle, "page132_folder"},
        {kStartMenuTitle, "page136_startmenu"},
        {kInstallConfirmTitle, "page138_install_confirm"},
    };
    for (const auto& p : pages) {
        HWND page = Page(run, p.title);
        ExpectFrame(page);
        Inspect(page, p.name);
        Next(page);
    }
    HWND restart = Page(run, kInstallDoneTitle);
    ExpectFrame(restart);
    EXPECT_EQ(wintest::ControlText(restart, IDOK), "再起動");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(restart, IDCANCEL)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(restart, IDC_BACK)));
    EXPECT_EQ(GetWindowLongA(GetDlgItem(restart, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    Inspect(restart, "page144_install_restart");
    wintest::PostClick(restart, IDCANCEL);  // no restart of the test machine
    ASSERT_TRUE(run.WaitForEnd());
}

TEST_F(Screens, TheFinishPageOfAnInstallRun) {
    ScriptRun run("appname \"KOPIWA\"\nend\n");
    HWND page = Page(run, kInstallDoneTitle);
    ExpectFrame(page);
    Inspect(page, "page137_install_done");
    Next(page);
    ASSERT_TRUE(run.WaitForEnd());
}

TEST_F(Screens, TheUninstallPages) {
    ScriptRun run(kScript, "Hbuninst.exe -u", [] { RestartNeeded = TRUE; });
    HWND welcome = Page(run, kWelcomeTitle);
    Inspect(welcome, "page130_welcome_uninstall");
    Next(welcome);
    HWND confirm = Page(run, kUninstallConfirmTitle);
    ExpectFrame(confirm);
    Inspect(confirm, "page133_uninstall_confirm");
    Next(confirm);
    HWND restart = Page(run, kUninstallDoneTitle);
    ExpectFrame(restart);
    Inspect(restart, "page145_uninstall_restart");
    wintest::PostClick(restart, IDOK);  // only passed on to the clean-up copy, of which there is none
    ASSERT_TRUE(run.WaitForEnd());
}

TEST_F(Screens, TheFinishPageOfAnUninstallRun) {
    ScriptRun run("appname \"KOPIWA\"\nend\n", "Setup.exe -u");
    HWND page = Page(run, kUninstallDoneTitle);
    ExpectFrame(page);
    Inspect(page, "page139_uninstall_done");
    Next(page);
    ASSERT_TRUE(run.WaitForEnd());
}

TEST_F(Screens, TheProgressDialog) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "KopiwaTest Screens");
    ScriptRun run("appname \"KOPIWA\"\nstartmeter\nchkclassexec \"KopiwaTest Screens\" \"KOPIWA\"\nendmeter\nend\n");
    HWND progress = run.WaitForDialog(kProgressTitle);
    ASSERT_NE(progress, nullptr);
    HWND question = run.WaitForDialog(kRunningTitle);
    ASSERT_NE(question, nullptr);
    // What a copy shows; the name line shortens a path too long for it.
    ShowProgressLines(progress, "ファイルのコピー中です...",
                      "ファイル名 : C:\\Program Files\\Harbel\\Kopiwa\\Kopiwa.exe", "KOPIWA 実行ファイル");
    SendDlgItemMessageA(progress, IDC_PROGRESS_BAR, PBM_SETPOS, 32, 0);
    RECT r = {0, 0, 219, 119};
    MapDialogRect(progress, &r);
    RECT client;
    GetClientRect(progress, &client);
    EXPECT_EQ(client.right, r.right);
    EXPECT_EQ(client.bottom, r.bottom);
    EXPECT_EQ(wintest::ClassName(GetDlgItem(progress, IDC_PROGRESS_BAR)), "msctls_progress32");
    // Move the question out of the way for the picture.
    SetWindowPos(question, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Inspect(progress, "page135_progress");
    ShowProgressLines(progress, "ファイルのコピー中です...",
                      "ファイル名 : C:\\Program Files\\Harbel\\Kopiwa\\とても長い名前のフォルダ\\さらに長い名前の"
                      "フォルダ\\Kopiwa.exe",
                      "KOPIWA 実行ファイル");
    Inspect(progress, "page135_progress_long_path");
    CloseHandle(mutex);
    wintest::PostClick(question, IDOK);
    HWND done = run.WaitForDialog(kInstallDoneTitle);
    ASSERT_NE(done, nullptr);
    wintest::PostClick(done, IDOK);
    ASSERT_TRUE(run.WaitForEnd());
}

namespace {

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// A page's template as it stands in the program, opened without a run.
struct Template {
    explicit Template(int id)
        : dialog(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, QuietProc, 0)) {}
    ~Template() {
        if (dialog) DestroyWindow(dialog);
    }
    Template(const Template&) = delete;
    Template& operator=(const Template&) = delete;
    std::string Text(int id) const { return wintest::ControlText(dialog, id); }
    HWND dialog;
};

}  // namespace

TEST(Resources, EveryPageCarriesItsTitleAndTexts) {
    const struct {
        int page;
        const char* title;
        std::vector<std::pair<int, const char*>> texts;
    } pages[] = {
        {IDD_WELCOME, kWelcomeTitle, {{IDOK, "次へ(&N) >"}, {IDCANCEL, "キャンセル"}}},
        {IDD_SELECT,
         kSelectionTitle,
         {{IDC_SELECT_PROMPT, "セットアップの動作を選んでください。"},
          {IDC_SELECT_INSTALL, "インストール（組み込み）をする(&I)"},
          {IDC_SELECT_UNINSTALL, "アンインストール（削除）をする(&U)"}}},
        {IDD_FOLDER,
         kFolderTitle,
         {{IDC_FOLDER_PROMPT, "インストール先のフォルダを指定してください。"},
          {IDC_FOLDER_NOTES, "解説"},
          {IDC_FOLDER_ADVICE,
           "このフォルダ名をそのまま使用することをおすすめします。旧バージョンのフォルダを指定した場合は、"
           "旧バージョンのファイルを上書きします。"},
          {IDC_FOLDER_NOTE, ""}}},
        {IDD_UNINSTALL_CONFIRM,
         kUninstallConfirmTitle,
         {{IDC_UNINSTALL_PROMPT, "[次へ >]を押すと、アンインストールを開始します。"}}},
        {IDD_STARTMENU,
         kStartMenuTitle,
         {{IDC_STARTMENU_YES, "登録する(通常はこちらをおすすめします)(&R)"}, {IDC_STARTMENU_NO, "登録しない(&N)"}}},
        {IDD_INSTALL_CONFIRM,
         kInstallConfirmTitle,
         {{IDC_INSTALL_CONFIRM_PROMPT, "[次へ >]を押すと、インストールを開始します。"}}},
        {IDD_INSTALL_DONE,
         kInstallDoneTitle,
         {{IDC_INSTALL_DONE_TEXT, "インストールは、すべて終了しました。"},
          {IDC_INSTALL_DONE_NOTE,
           "なお、アンインストールするには、コントロールパネルの\n「アプリケーションの追加と削除」を使用してください。"},
          {IDOK, "終了"}}},
        {IDD_UNINSTALL_DONE,
         kUninstallDoneTitle,
         {{IDC_UNINSTALL_DONE_TEXT, "アンインストールは、すべて終了しました。"}, {IDOK, "終了"}}},
        {IDD_INSTALL_RESTART,
         kInstallDoneTitle,
         {{IDC_RESTART_TEXT1, "インストールは終了しました。"},
          {IDC_RESTART_TEXT2, "設定を有効にするためには、Windowsを再起動する必要があります。"},
          {IDC_RESTART_TEXT3, "・[再起動]ボタンを押すと、すぐに再起動します。"},
          {IDC_RESTART_TEXT4,
           "・[キャンセル]ボタンを押すと、再起動せずに終了します。\n  次に再起動したときに、設定が有効になります。"},
          {IDOK, "再起動"},
          {IDCANCEL, "キャンセル"}}},
        {IDD_UNINSTALL_RESTART,
         kUninstallDoneTitle,
         {{IDC_RESTART_TEXT1, "アンインストールは終了しました。"},
          {IDC_RESTART_TEXT2, "変更内容を反映させるためには、Windowsを再起動する必要があります。"},
          {IDC_RESTART_TEXT3, "・[再起動]ボタンを押すと、すぐに再起動します。"},
          {IDC_RESTART_TEXT4,
           "・[キャンセル]ボタンを押すと、再起動せずに終了します。\n  変更内容は、次に再起動したときに反映されます。"},
          {IDOK, "再起動"}}},
    };
    for (const auto& p : pages) {
        Template page(p.page);
        ASSERT_NE(page.dialog, nullptr) << p.page;
        EXPECT_EQ(wintest::WindowText(page.dialog), p.title) << p.page;
        EXPECT_EQ(page.Text(IDC_BACK), "< 戻る(&B)") << p.page;
        for (const auto& text : p.texts) EXPECT_EQ(page.Text(text.first), text.second) << p.page << "/" << text.first;
        // Next is the default button everywhere.
        EXPECT_EQ(GetWindowLongA(GetDlgItem(page.dialog, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON) << p.page;
    }
    Template progress(IDD_PROGRESS);
    ASSERT_NE(progress.dialog, nullptr);
    EXPECT_EQ(wintest::WindowText(progress.dialog), kProgressTitle);
    EXPECT_EQ(progress.Text(IDCANCEL), "中止");
    for (int line : {IDC_PROGRESS_ACTION, IDC_PROGRESS_NAME, IDC_PROGRESS_DESCRIPTION})
        EXPECT_EQ(progress.Text(line), "");
}
