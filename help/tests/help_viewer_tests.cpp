// The help file of the distribution folder in the platform's help viewer, opened
// the way the copier opens it: Help Topics for the Help button, the copy
// dialog's topic for F1 (its context number), and the closing call that the
// dialog makes when it is destroyed. Also looks a topic up through the viewer's
// keyword index. Screenshots of every page land in the test's artifact folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <prsht.h>

#include <algorithm>
#include <string>
#include <vector>

#include "wintest.h"

using namespace wintest;

namespace {

// The viewer's main window class and the control that shows the topic.
constexpr char kViewerClass[] = "MS_WINHELP";
constexpr int kTopicTextId = 0x701;
constexpr int kButtonBoxId = 0x700;

constexpr char kHelpTitle[] = "KOPIWA ヘルプ";
constexpr char kContentsTitle[] = "目次";
constexpr char kCopyDialogTitle[] = "KOPIWAの画面";
// The framework asks for 0x20000 plus the dialog's template number (102).
constexpr DWORD kCopyDialogContext = 0x20000 + 102;

constexpr DWORD kViewerTimeoutMs = 30000;

std::string HelpFile() { return DistDir() + "\\Kopiwa.hlp"; }

// The whole text of a control of another process. WindowText stops at 1 KB,
// and WM_GETTEXTLENGTH sent across processes answers 0 for the viewer's
// rich-edit control under Wine, so a buffer larger than any topic is used.
std::string LongText(HWND control) {
    std::vector<char> buffer(64 * 1024);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(control, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 5000,
                             &copied))
        return std::string();
    return std::string(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
}

std::string TopicText(HWND viewer) {
    HWND text = GetDlgItem(viewer, kTopicTextId);
    return text ? LongText(text) : std::string();
}

// Gives the viewer a moment to finish painting before a screenshot.
void LetItPaint() {
    WaitUntil([] { return false; }, 700);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct ChildSearch {
    const char* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (!search->className || ClassName(window) == search->className)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent, const char* className) {
    ChildSearch search{className, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The viewer's button whose command starts the keyword index: its buttons are
// numbered in the order they are made (Contents, Index, Back, browse buttons).
int IndexButtonId(HWND viewer) {
    HWND box = GetDlgItem(viewer, kButtonBoxId);
    if (!box) return 0;
    std::vector<int> ids;
    for (HWND button : Children(box, nullptr)) ids.push_back(GetDlgCtrlID(button));
    if (ids.size() < 2) return 0;
    std::sort(ids.begin(), ids.end());
    return ids[1];
}

// An item of another process's list box, in the ANSI code page. Under Wine an
// ANSI LB_GETTEXT sent across processes comes back as UTF-16 and the length
// query is not to be trusted, so the wide message and a generous buffer are
// used (keywords are short).
std::string ListBoxItem(HWND list, int index) {
    std::vector<wchar_t> wide(4096);
    LRESULT copied = SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide.data()));
    if (copied <= 0 || static_cast<size_t>(copied) >= wide.size()) return std::string();
    char narrow[8192];
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(copied), narrow,
                                sizeof narrow, nullptr, nullptr);
    return n > 0 ? std::string(narrow, n) : std::string();
}

// Clicks the jump whose text is `words`, first in the topic, with the X
// pointer as a user does. Wine's viewer places a jump's clickable zone by the
// count of text BYTES before it, while its rich-edit control counts
// characters; in Shift-JIS text the zone therefore lies further on than the
// visible jump. The click goes where the viewer will look for it, so that the
// test checks that the viewer follows the jump's context hash to the topic.
bool ClickJump(HWND viewer, const std::string& words) {
    HWND edit = GetDlgItem(viewer, kTopicTextId);
    const std::string text = TopicText(viewer);
    const size_t at = text.find(words);
    if (!edit || at == std::string::npos) return false;
    // A paragraph end counts as one, for both.
    size_t bytes = 0;
    for (size_t i = 0; i < at; ++i)
        if (!(text[i] == '\r' && i + 1 < at && text[i + 1] == '\n')) ++bytes;
    const LRESULT first = SendMessageA(edit, EM_POSFROMCHAR, bytes + 1, 0);
    const LRESULT second = SendMessageA(edit, EM_POSFROMCHAR, bytes + 2, 0);
    if (first == -1 || second == -1) return false;
    // In the left part of the character: the control rounds a point past a
    // character's middle to the next one.
    const int left = static_cast<short>(LOWORD(first));
    const int right = static_cast<short>(LOWORD(second));
    POINT click{left + (right - left) / 4, static_cast<short>(HIWORD(first)) + 5};
    ClientToScreen(edit, &click);
    const UnixResult r = RunUnix("xdotool mousemove " + std::to_string(click.x) + " " +
                                 std::to_string(click.y) + " click 1");
    return r.finished && r.status == 0;
}

class HelpViewer : public ::testing::Test {
protected:
    void SetUp() override {
        // The copier owns its help with its dialog; a hidden window stands in.
        owner_ = CreateWindowExA(0, "STATIC", "help owner", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
        ASSERT_NE(GetFileAttributesA(HelpFile().c_str()), INVALID_FILE_ATTRIBUTES) << HelpFile();
    }

    void TearDown() override {
        HWND viewer = FindWindowA(kViewerClass, nullptr);
        EXPECT_TRUE(WinHelpA(owner_, HelpFile().c_str(), HELP_QUIT, 0));
        if (viewer) {
            EXPECT_TRUE(WaitForWindowGone(viewer, kViewerTimeoutMs)) << "HELP_QUIT";
        }
        DestroyWindow(owner_);
    }

    // The viewer once it shows this help file at the topic with `title`
    // (every topic begins with its title), or null.
    HWND WaitForTopic(const std::string& title) {
        HWND viewer = nullptr;
        WaitUntil(
            [&] {
                viewer = FindWindowA(kViewerClass, nullptr);
                return viewer && IsWindowVisible(viewer) && WindowText(viewer) == kHelpTitle &&
                       StartsWith(TopicText(viewer), title);
            },
            kViewerTimeoutMs);
        if (viewer && !StartsWith(TopicText(viewer), title)) {
            Screenshot("unexpected_topic", viewer);
            ADD_FAILURE() << "caption \"" << WindowText(viewer) << "\", topic text begins \""
                          << TopicText(viewer).substr(0, 80) << "\"";
            return nullptr;
        }
        return viewer;
    }

    HWND owner_ = nullptr;
};

TEST_F(HelpViewer, HelpTopicsOpenOnTheContents) {
    ASSERT_TRUE(WinHelpA(owner_, HelpFile().c_str(), HELP_FINDER, 0));
    HWND viewer = WaitForTopic(kContentsTitle);
    ASSERT_NE(viewer, nullptr);
    const std::string text = TopicText(viewer);
    // The contents lead to the other topics.
    EXPECT_TRUE(Contains(text, kCopyDialogTitle)) << text;
    EXPECT_TRUE(Contains(text, "コピーのしかた")) << text;
    EXPECT_TRUE(Contains(text, "インストールとアンインストール")) << text;
    LetItPaint();
    EXPECT_FALSE(Screenshot("contents", viewer).empty());
}

TEST_F(HelpViewer, ContextHelpOfTheCopyDialogShowsItsTopic) {
    ASSERT_TRUE(WinHelpA(owner_, HelpFile().c_str(), HELP_CONTEXT, kCopyDialogContext));
    HWND viewer = WaitForTopic(kCopyDialogTitle);
    ASSERT_NE(viewer, nullptr);
    const std::string text = TopicText(viewer);
    // The topic describes the dialog's groups and the status line's texts.
    EXPECT_TRUE(Contains(text, "ｽｷｬﾝ設定")) << text;
    EXPECT_TRUE(Contains(text, "印刷設定")) << text;
    EXPECT_TRUE(Contains(text, "[ｺﾋﾟｰ]ﾎﾞﾀﾝを押すと、ｺﾋﾟ-できます。")) << text;
    LetItPaint();
    EXPECT_FALSE(Screenshot("copy_dialog", viewer).empty());
}

TEST_F(HelpViewer, ContentsCommandAndContextHelpShareOneWindow) {
    ASSERT_TRUE(WinHelpA(owner_, HelpFile().c_str(), HELP_CONTEXT, kCopyDialogContext));
    HWND first = WaitForTopic(kCopyDialogTitle);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(WinHelpA(owner_, HelpFile().c_str(), HELP_CONTENTS, 0));
    HWND second = WaitForTopic(kContentsTitle);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first, second);
}

TEST_F(HelpViewer, JumpsLeadToTheirTopics) {
    ASSERT_TRUE(WinHelpA(owner_, HelpFile().c_str(), HELP_FINDER, 0));
    HWND viewer = WaitForTopic(kContentsTitle);
    ASSERT_NE(viewer, nullptr);
    ASSERT_TRUE(ClickJump(viewer, kCopyDialogTitle));
    ASSERT_NE(WaitForTopic(kCopyDialogTitle), nullptr);
    ASSERT_TRUE(ClickJump(viewer, "スキャンモード"));
    EXPECT_NE(WaitForTopic("スキャンモード"), nullptr);
}

TEST_F(HelpViewer, KeywordIndexLeadsToTheTopic) {
    ASSERT_TRUE(WinHelpA(owner_, HelpFile().c_str(), HELP_FINDER, 0));
    HWND viewer = WaitForTopic(kContentsTitle);
    ASSERT_NE(viewer, nullptr);
    const int indexButton = IndexButtonId(viewer);
    ASSERT_NE(indexButton, 0);
    DWORD viewerProcess = 0;
    GetWindowThreadProcessId(viewer, &viewerProcess);
    PostMessageA(viewer, WM_COMMAND, indexButton, 0);

    // The index is a property sheet of the viewer's, with the keywords in a list.
    HWND sheet = nullptr;
    HWND list = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : TopWindowsOf(viewerProcess)) {
                if (w == viewer || !IsWindowVisible(w) || ClassName(w) != "#32770") continue;
                std::vector<HWND> lists = Children(w, "ListBox");
                if (!lists.empty() && SendMessageA(lists[0], LB_GETCOUNT, 0, 0) > 0) {
                    sheet = w;
                    list = lists[0];
                    return true;
                }
            }
            return false;
        },
        kViewerTimeoutMs);
    ASSERT_NE(list, nullptr) << "no keyword index";

    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    int wanted = -1;
    std::string all;
    for (int i = 0; i < count; ++i) {
        const std::string item = ListBoxItem(list, i);
        if (item == "解像度") wanted = i;
        all += "[" + item + "]";
    }
    ASSERT_GE(wanted, 0) << count << " keywords, none is 解像度: " << all;
    SendMessageA(list, LB_SETCURSEL, wanted, 0);
    LetItPaint();
    EXPECT_FALSE(Screenshot("index", sheet).empty());
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);

    HWND found = WaitForTopic("スキャン速度");
    ASSERT_NE(found, nullptr);
    LetItPaint();
    EXPECT_FALSE(Screenshot("keyword_topic", found).empty());
}

}  // namespace
