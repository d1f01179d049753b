// Where the script's lines come from: the embedded resource and its bytes,
// counting and reading lines, comment lines, and the application name.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "resource.h"
#include "run_state.h"
#include "script.h"
#include "wintest.h"

namespace {

std::string Line(int n, bool* fits = nullptr) {
    char buffer[kPathSize];
    const BOOL ok = ReadScriptLine(n, buffer, sizeof buffer);
    if (fits) *fits = ok != FALSE;
    return buffer;
}

// The script text in the program, read through the resource calls.
std::string ScriptResource(HMODULE module) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_SCRIPT), "TEXT");
    if (!found) return "";
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(text, SizeofResource(module, found));
}

// What the build must make of the readable script: code page 932, CR LF after
// every line, then 0x1A. Converted here with the platform's own tables.
std::string ExpectedScriptBytes() {
    std::ifstream in(wintest::ToWindowsPath(wintest::Env("KOPIWA_SOURCE_DIR") + "/installer/setup_script.txt"),
                     std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    const std::string utf8 = all.str();
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring text(wide, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &text[0], wide);
    std::wstring crlf;
    for (wchar_t c : text) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    const int narrow = WideCharToMultiByte(932, 0, crlf.data(), (int)crlf.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes(narrow, '\0');
    WideCharToMultiByte(932, 0, crlf.data(), (int)crlf.size(), &bytes[0], narrow, nullptr, nullptr);
    return bytes + '\x1A';
}

}  // namespace

TEST(Storage, TheEmbeddedScriptIsShiftJisWithCrLfAndTheEndMark) {
    const std::string expected = ExpectedScriptBytes();
    ASSERT_GT(expected.size(), 2000u) << "setup_script.txt not found or empty";
    HMODULE setup = LoadLibraryExA((wintest::DistDir() + "\\Setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(setup, nullptr);
    const std::string carried = ScriptResource(setup);
    FreeLibrary(setup);

    EXPECT_EQ(carried, expected);
    ASSERT_GE(carried.size(), 3u);
    EXPECT_EQ(carried.substr(carried.size() - 6), "end\r\n\x1A");
    for (size_t i = 0; i < carried.size(); ++i) {
        if (carried[i] == '\n') {
            ASSERT_EQ(carried[i - 1], '\r') << "bare LF at byte " << i;
        }
    }
    // The first comment line: "スクリプトファイル" in Shift-JIS (ス = 0x83 0x58).
    EXPECT_EQ(carried.substr(0, 20), "# KOPIWA Ver.1.11 \x83\x58");
    // Tabs survive: the line after startinstall is a tab and startmeter.
    EXPECT_NE(carried.find("startinstall\r\n\tstartmeter\r\n#\t\t"), std::string::npos);
}

TEST(Storage, LoadScriptReadsTheProgramsResource) {
    ResetRunState();
    ASSERT_TRUE(LoadScript());
    EXPECT_EQ(LineCount, 81);
    EXPECT_EQ(Line(0), "# KOPIWA Ver.1.11 スクリプトファイル");
    EXPECT_EQ(Line(3), "chkostype 0 3");
    EXPECT_EQ(Line(5), "\tchkosversion 4 0");
    EXPECT_EQ(Line(80), "end");
    char name[kPathSize];
    FindAppName(name, sizeof name);
    EXPECT_STREQ(name, "KOPIWA");
}

TEST(Storage, LinesDropTheirCrBytesAndEndAtTheEndMark) {
    static const char text[] = "one\r\ntw\ro\r\n\r\nthree\r\n\x1A" "after\r\n";
    UseScriptText(text, sizeof text - 1);
    EXPECT_EQ(LineCount, 4);
    EXPECT_EQ(Line(0), "one");
    EXPECT_EQ(Line(1), "two");
    EXPECT_EQ(Line(2), "");
    EXPECT_EQ(Line(3), "three");
    bool fits = true;
    EXPECT_EQ(Line(4, &fits), "");
    EXPECT_FALSE(fits) << "no line after the end mark";
    EXPECT_EQ(Line(-1, &fits), "");
    EXPECT_FALSE(fits);
}

TEST(Storage, ALastLineWithoutALineBreakStillCounts) {
    static const char unterminated[] = "appname \"X\"\r\nend";
    UseScriptText(unterminated, sizeof unterminated - 1);
    EXPECT_EQ(LineCount, 2);
    EXPECT_EQ(Line(1), "end");
    static const char unterminatedWithMark[] = "a\r\nend\x1A";
    UseScriptText(unterminatedWithMark, sizeof unterminatedWithMark - 1);
    EXPECT_EQ(LineCount, 2);
    EXPECT_EQ(Line(1), "end");
    static const char empty[] = "\x1A";
    UseScriptText(empty, 1);
    EXPECT_EQ(LineCount, 0);
}

TEST(Storage, ALineOver259BytesIsCutAtACharacterAndReportedSo) {
    std::string line(258, 'x');
    line += "表y";  // 表 would take bytes 259 and 260
    std::string text = line + "\r\nshort\r\n";
    UseScriptText(text.data(), static_cast<DWORD>(text.size()));
    bool fits = true;
    EXPECT_EQ(Line(0, &fits), std::string(258, 'x'));
    EXPECT_FALSE(fits);
    EXPECT_EQ(Line(1, &fits), "short");
    EXPECT_TRUE(fits);

    // Exactly 259 bytes fit; the CR after them does not count.
    std::string exact(259, 'z');
    text = exact + "\r\n";
    UseScriptText(text.data(), static_cast<DWORD>(text.size()));
    EXPECT_EQ(Line(0, &fits), exact);
    EXPECT_TRUE(fits);
}

TEST(Storage, CommandLinesSkipCommentsButNotIndentedOnes) {
    ResetRunState();
    static const char text[] = "; one\r\n# two\r\n\t# three\r\nend\r\n#last\r\n";
    UseScriptText(text, sizeof text - 1);
    EXPECT_EQ(ReadCommandLine(), kLineRead);
    EXPECT_STREQ(LineBuffer, "\t# three");
    EXPECT_EQ(ScriptLine, 3);
    EXPECT_EQ(ReadCommandLine(), kLineRead);
    EXPECT_STREQ(LineBuffer, "end");
    EXPECT_EQ(ReadCommandLine(), kNoMoreLines) << "a trailing comment is no line to run";
    EXPECT_EQ(ScriptLine, 5);
    EXPECT_EQ(ReadCommandLine(), kNoMoreLines);
}

TEST(Storage, TheFirstAppnameLineWinsWhereverItStands) {
    static const char text[] =
        "#appname \"comment\"\r\n"
        "startinstall\r\n"
        "\tAppName \"最初の名前\" ignored\r\n"
        "endinstall\r\n"
        "appname \"second\"\r\n";
    UseScriptText(text, sizeof text - 1);
    char name[kPathSize];
    FindAppName(name, sizeof name);
    EXPECT_STREQ(name, "最初の名前");

    static const char none[] = "welcome 3 1 \"x\"\r\nend\r\n";
    UseScriptText(none, sizeof none - 1);
    FindAppName(name, sizeof name);
    EXPECT_STREQ(name, "Wendle");

    static const char bare[] = "appname\r\nappname \"late\"\r\n";
    UseScriptText(bare, sizeof bare - 1);
    FindAppName(name, sizeof name);
    EXPECT_STREQ(name, "Wendle") << "the first appname line names nothing";
}
