// Tests of the test bed itself: each fixture that the product tests rely on is
// shown to work here first, against small probe programs.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <vector>

#include "wintest.h"

using namespace wintest;

namespace {

std::string Probe(const char* name) { return BuildDir() + "\\fixtures\\" + name + ".exe"; }

// While it lives, every CloseHandle of this program (the harness's included)
// is recorded with whether the handle was then a process's or a thread's.
class CloseRecorder {
public:
    struct Close {
        HANDLE handle;
        bool processOrThread;
    };
    CloseRecorder() {
        closes_ = &closes;
        real_ = reinterpret_cast<decltype(&CloseHandle)>(
            RedirectImport("kernel32.dll", "CloseHandle", reinterpret_cast<void*>(&Recording)));
    }
    ~CloseRecorder() {
        if (real_) RedirectImport("kernel32.dll", "CloseHandle", reinterpret_cast<void*>(real_));
        closes_ = nullptr;
    }
    CloseRecorder(const CloseRecorder&) = delete;
    CloseRecorder& operator=(const CloseRecorder&) = delete;
    bool Active() const { return real_ != nullptr; }
    std::vector<Close> closes;

private:
    static BOOL WINAPI Recording(HANDLE handle) {
        DWORD code = 0;
        const bool live = GetExitCodeProcess(handle, &code) || GetExitCodeThread(handle, &code);
        if (closes_) closes_->push_back({handle, live});
        return real_(handle);
    }
    static inline std::vector<Close>* closes_ = nullptr;
    static inline decltype(&CloseHandle) real_ = nullptr;
};

}  // namespace

TEST(Harness, StartsAProgramAndFindsItsWindowByTitle) {
    Process hello;
    ASSERT_TRUE(hello.Start(Probe("hello_window")));
    HWND window = WaitForTopWindow("ハーネス表示テスト", hello.Id());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ClassName(window), "HarnessHelloWindow");
    EXPECT_EQ(FindTopWindow("ハーネス表示テスト", hello.Id() + 1), nullptr)
        << "the search must respect the process id";

    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(hello.WaitForExit(10000));
    EXPECT_EQ(hello.ExitCode(), 0u);
}

TEST(Harness, SetsTheWindowsVersionWineReportsToOneProgram) {
    struct Case {
        const char* version;
        DWORD platform, major, minor;
    } cases[] = {
        {"win95", 1, 4, 0}, {"win98", 1, 4, 10}, {"nt40", 2, 4, 0},
        {"nt351", 2, 3, 51}, {"win2k", 2, 5, 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SetReportedWindowsVersion("version_probe.exe", c.version));
        Process probe;
        ASSERT_TRUE(probe.Start(Probe("version_probe")));
        ASSERT_TRUE(probe.WaitForExit(20000));
        EXPECT_EQ(probe.ExitCode(), (c.platform << 16) | (c.major << 8) | c.minor) << c.version;
    }
    ASSERT_TRUE(SetReportedWindowsVersion("version_probe.exe", ""));
    Process probe;
    ASSERT_TRUE(probe.Start(Probe("version_probe")));
    ASSERT_TRUE(probe.WaitForExit(20000));
    EXPECT_EQ(probe.ExitCode() >> 16, 2u) << "Wine's default is an NT-family version";
}

TEST(Harness, RunsUnixCommandsWithTheirOutputAndStatus) {
    UnixResult ok = RunUnix("echo one; echo two >&2");
    ASSERT_TRUE(ok.finished);
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.output, "one\ntwo\n");
    UnixResult failed = RunUnix("exit 7");
    ASSERT_TRUE(failed.finished);
    EXPECT_EQ(failed.status, 7);
}

// Wine keeps keys, processes and threads in one handle table per process, so
// a stray close can take a key of the test's own. The harness closes the two
// handles of each Windows program it started, once each, and nothing for a
// Unix command, for which Wine gives back no usable handles.
TEST(Harness, ClosesOnlyTheHandlesOfWhatItStartedAndEachOnce) {
    CloseRecorder recorder;
    ASSERT_TRUE(recorder.Active());
    {
        Process ended, killed;
        ASSERT_TRUE(ended.Start(Probe("version_probe")));
        ASSERT_TRUE(ended.WaitForExit(20000));
        ended.Kill();
        ASSERT_TRUE(killed.Start(Probe("hello_window")));
        ASSERT_NE(WaitForTopWindow("ハーネス表示テスト", killed.Id()), nullptr);
        killed.Kill();
        EXPECT_TRUE(killed.WaitForExit(0));
    }
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(RunUnix("true").finished);

    std::set<HANDLE> closed;
    for (const CloseRecorder::Close& c : recorder.closes) {
        EXPECT_TRUE(c.processOrThread) << "closed " << c.handle << ", not a process's or thread's";
        EXPECT_TRUE(closed.insert(c.handle).second) << "closed " << c.handle << " twice";
    }
    EXPECT_EQ(recorder.closes.size(), 4u) << "a process and a thread handle of each program";
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KopiwaHarness", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (key) RegCloseKey(key);
}

TEST(Harness, TakesAPngScreenshotOfAWindow) {
    Process hello;
    ASSERT_TRUE(hello.Start(Probe("hello_window")));
    HWND window = WaitForTopWindow("ハーネス表示テスト", hello.Id());
    ASSERT_NE(window, nullptr);
    Sleep(500);  // let the window manager-less screen settle on the first paint
    const std::string png = Screenshot("hello_window", window);
    ASSERT_FALSE(png.empty());

    std::ifstream in(ToWindowsPath(png), std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    ASSERT_TRUE(in);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(header) + 1, 3), "PNG");
    const auto be32 = [&](int at) {
        return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3];
    };
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(be32(16), r.right - r.left);
    EXPECT_EQ(be32(20), r.bottom - r.top);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

TEST(Harness, MeasuresA2By1InchPrintAtTheOrigin) {
    const std::set<std::string> before = PdfFiles();
    Process probe;
    ASSERT_TRUE(probe.Start(Probe("print_probe")));
    ASSERT_TRUE(probe.WaitForExit(60000));
    ASSERT_EQ(probe.ExitCode(), 0u) << "print probe failed at step " << probe.ExitCode();

    const std::string pdf = WaitForNewPdf(before);
    ASSERT_FALSE(pdf.empty()) << "no PDF arrived from the PDF queue";
    PrintBox box = MeasurePdf(pdf);
    ASSERT_TRUE(box.ok);
    ASSERT_FALSE(box.empty);
    EXPECT_NEAR(box.width, 50.8, 0.5);
    EXPECT_NEAR(box.height, 25.4, 0.5);
    EXPECT_NEAR(box.left, 0.0, 0.5);
    EXPECT_NEAR(box.top, 0.0, 0.5);
    EXPECT_NEAR(box.pageWidth, 210.0, 1.0) << "A4";
    EXPECT_NEAR(box.pageHeight, 297.0, 1.0) << "A4";
}
