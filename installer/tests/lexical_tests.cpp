// The script's lexical rules and variable expansion, without a window: the
// tokenizer, numbers, keywords, bounded copies and the six variables.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "commands.h"
#include "run_state.h"
#include "script.h"
#include "util.h"
#include "wintest.h"

namespace {

// Every token of `line` as NextToken hands them out.
std::vector<std::string> Tokens(std::string line, const char* separators = kLineSeparators) {
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    std::vector<std::string> tokens;
    for (char* t = NextToken(buffer.data(), separators); t; t = NextToken(nullptr, separators))
        tokens.push_back(t);
    return tokens;
}

using Strings = std::vector<std::string>;

std::string Expand(const char* input, bool* fits = nullptr) {
    char output[kPathSize];
    const BOOL ok = ExpandVariables(output, input);
    if (fits) *fits = ok != FALSE;
    return output;
}

std::string WindowsDirectory() {
    char buffer[MAX_PATH];
    GetWindowsDirectoryA(buffer, sizeof buffer);
    return buffer;
}

std::string SystemDirectory() {
    char buffer[MAX_PATH];
    GetSystemDirectoryA(buffer, sizeof buffer);
    return buffer;
}

}  // namespace

TEST(Lexical, TokensAreSeparatedByBlanksAndTabs) {
    EXPECT_EQ(Tokens("  copy\t\"a b\"   c  "), (Strings{"copy", "a b", "c"}));
    EXPECT_EQ(Tokens(""), Strings{});
    EXPECT_EQ(Tokens(" \t "), Strings{});
}

TEST(Lexical, QuotedTokensKeepBlanksTabsPercentAndBackslashes) {
    EXPECT_EQ(Tokens("del \"%DEFDIR%Kopiwa.exe\"  \"KOPIWA ヘルプ\tファイル\""),
              (Strings{"del", "%DEFDIR%Kopiwa.exe", "KOPIWA ヘルプ\tファイル"}));
    EXPECT_EQ(Tokens("\"C:\\a b\\\""), (Strings{"C:\\a b\\"}));
}

TEST(Lexical, EmptyQuotesGiveAnEmptyTokenNotAMissingOne) {
    EXPECT_EQ(Tokens("addicon \"x\" \"\" \"KOPIWA\""), (Strings{"addicon", "x", "", "KOPIWA"}));
    EXPECT_EQ(Tokens("\"\""), (Strings{""}));
}

TEST(Lexical, AClosingQuoteEndsTheTokenEvenWithoutASeparator) {
    EXPECT_EQ(Tokens("\"C:\\Kopiwa\\\"1"), (Strings{"C:\\Kopiwa\\", "1"}));
    EXPECT_EQ(Tokens("\"a\" \"b\"c"), (Strings{"a", "b", "c"}));
}

// A stored command line quotes its program: """C:\a b\x.exe"" -u" holds
// "C:\a b\x.exe" -u. The tokens after it start where they did.
TEST(Lexical, ADoubledQuoteInsideQuotesStandsForOneQuote) {
    EXPECT_EQ(Tokens("1 \"\"\"C:\\a b\\表.exe\"\" -u\" next"), (Strings{"1", "\"C:\\a b\\表.exe\" -u", "next"}));
    EXPECT_EQ(Tokens("\"a\"\"b\" c"), (Strings{"a\"b", "c"}));
    EXPECT_EQ(Tokens("\"\" x"), (Strings{"", "x"})) << "empty quotes stay an empty token";
    EXPECT_EQ(Tokens("a\"\"b"), (Strings{"a\"\"b"})) << "outside quotes nothing changes";
}

TEST(Lexical, AQuoteInsideAnUnquotedTokenIsOrdinary) {
    EXPECT_EQ(Tokens("ab\"c d"), (Strings{"ab\"c", "d"}));
}

TEST(Lexical, AnUnclosedQuoteRunsToTheEnd) {
    EXPECT_EQ(Tokens("del \"C:\\a b"), (Strings{"del", "C:\\a b"}));
}

TEST(Lexical, TheCommandLineSeparatesByBlanksOnly) {
    EXPECT_EQ(Tokens("-s\t-u -i", " "), (Strings{"-s\t-u", "-i"}));
}

// 表 is 0x95 0x5C: its second byte is a backslash's. 圭 (0x8C 0x5C) and ソ
// (0x83 0x5C) are the same kind.
TEST(Lexical, DoubleByteCharactersStayWholeInTokens) {
    const Strings tokens = Tokens("mkdir \"C:\\表\\ソ圭\" 表示");
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[1], "C:\\表\\ソ圭");
    EXPECT_EQ(tokens[2], "表示");
    EXPECT_EQ(static_cast<unsigned char>(tokens[2][1]), 0x5C);
}

TEST(Lexical, NumbersReadLikeAtoi) {
    EXPECT_EQ(ReadNumber("42"), 42);
    EXPECT_EQ(ReadNumber("  -7x"), -7);
    EXPECT_EQ(ReadNumber("+3"), 3);
    EXPECT_EQ(ReadNumber("HKLM"), 0);
    EXPECT_EQ(ReadNumber(""), 0);
    EXPECT_EQ(ReadNumber(nullptr), 0);
    // The ends of the range, which a signed negation would overflow.
    EXPECT_EQ(ReadNumber("-2147483648"), INT_MIN);
    EXPECT_EQ(ReadNumber("2147483647"), INT_MAX);
    EXPECT_EQ(ReadNumber("-2147483647"), -INT_MAX);
}

// Reading the script ahead (the application's name at start-up, the meter's
// count) cuts lines of its own and leaves the current line's tokens alone.
TEST(Lexical, ReadingTheScriptAheadLeavesTheCurrentLineWhereItWas) {
    ResetRunState();
    const std::string script = "appname Kopiwa\nstartmeter\n del x\n mkdir y\nendmeter\nend\n";
    UseScriptText(script.data(), static_cast<DWORD>(script.size()));
    SilentMode = TRUE;

    char current[] = "regsetvalue 1 key name";
    NextToken(current, kLineSeparators);
    char name[kPathSize];
    FindAppName(name, sizeof name);
    EXPECT_STREQ(name, "Kopiwa");
    EXPECT_STREQ(NextToken(nullptr, kLineSeparators), "1");

    ScriptLine = 2;
    EXPECT_TRUE(StartMeterDirective(nullptr));
    EXPECT_EQ(MeterTotal, 2048u);
    EXPECT_STREQ(NextToken(nullptr, kLineSeparators), "key");
    ResetRunState();
}

TEST(Lexical, KeywordTableHoldsTheKeywordsAndWeightsInOrder) {
    const struct {
        const char* keyword;
        DWORD weight;
    } expected[] = {
        {"appname", 0},        {"defaultdirfromreg", 0}, {"defaultdirchk", 0},     {"welcome", 0},
        {"chkclassexec", 0},   {"startinstall", 0},      {"endinstall", 0},        {"startuninstall", 0},
        {"enduninstall", 0},   {"startmeter", 0},        {"endmeter", 0},          {"copy", 99999999},
        {"move", 99999999},    {"del", 1024},            {"mkdir", 1024},          {"rmdir", 1024},
        {"regcreatekey", 1024}, {"regdeletekey", 1024},  {"regsetvalue", 1024},    {"end", 0},
        {"ddestart", 0},       {"creategroup", 1024},    {"deletegroup", 1024},    {"addicon", 1024},
        {"deleteicon", 1024},  {"cleanupinstall", 0},    {"cleanupuninstall", 0},  {"chkostype", 0},
        {"chkosversion", 0},   {"if95", 0},              {"endif95", 0},           {"ifnt", 0},
        {"endifnt", 0},        {"moveatreboot", 0},      {"regdelvalue", 1024},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], 35u);
    for (int i = 0; i < 35; ++i) {
        EXPECT_STREQ(KeywordTable[i].keyword, expected[i].keyword) << i;
        EXPECT_EQ(KeywordTable[i].KeywordWeight, expected[i].weight) << i;
    }
    EXPECT_EQ(KeywordTable[35].keyword, nullptr);
}

TEST(Lexical, KeywordsMatchTheWholeTokenInAnyCase) {
    EXPECT_EQ(FindKeyword("END"), kEnd);
    EXPECT_EQ(FindKeyword("DefaultDirFromReg"), kDefaultDirFromReg);
    EXPECT_EQ(FindKeyword("regdelvalue"), kRegDelValue);
    EXPECT_EQ(FindKeyword("en"), -1);
    EXPECT_EQ(FindKeyword("ends"), -1);
    EXPECT_EQ(FindKeyword("#copy"), -1);
    EXPECT_EQ(FindKeyword(nullptr), -1);
}

TEST(Lexical, BoundedCopiesCutAfterTheLastWholeCharacter) {
    char buffer[6];
    EXPECT_TRUE(CopyText(buffer, "abcde", sizeof buffer));
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_FALSE(CopyText(buffer, "abcdef", sizeof buffer));
    EXPECT_STREQ(buffer, "abcde");
    // "ab" then 表表: the second 表 would need bytes 5 and 6.
    EXPECT_FALSE(CopyText(buffer, "ab表表", sizeof buffer));
    EXPECT_STREQ(buffer, "ab表");
    EXPECT_TRUE(CopyText(buffer, nullptr, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    CopyText(buffer, "ab", sizeof buffer);
    EXPECT_FALSE(AppendText(buffer, "c表d", sizeof buffer));
    EXPECT_STREQ(buffer, "abc表");
}

TEST(Lexical, CutAtLastBackslashStepsOverDoubleByteTrailBytes) {
    struct {
        const char* path;
        const char* cut;
    } cases[] = {
        {"C:\\Temp\\", "C:\\Temp"},     {"C:\\dir\\表", "C:\\dir"}, {"C:\\表\\x.exe", "C:\\表"},
        {"表", ""},                     {"C:\\ソ表", "C:"},        {"noslash", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        char path[kPathSize];
        lstrcpyA(path, c.path);
        CutAtLastBackslash(path);
        EXPECT_STREQ(path, c.cut) << c.path;
    }
}

TEST(Expansion, TheSixNamesInAnyCase) {
    ResetRunState();
    lstrcpyA(DefaultDir, "C:\\Program Files\\Harbel\\Kopiwa");
    const std::string programFiles = GetProgramFilesDir();
    EXPECT_EQ(Expand("%PRGDIR%Harbel"), programFiles + "\\Harbel");
    EXPECT_EQ(Expand("%DEFDIR%Kopiwa.exe"), "C:\\Program Files\\Harbel\\Kopiwa\\Kopiwa.exe");
    EXPECT_EQ(Expand("%defdir%Kopiwa.exe"), "C:\\Program Files\\Harbel\\Kopiwa\\Kopiwa.exe");
    EXPECT_EQ(Expand("%DefDir%"), "C:\\Program Files\\Harbel\\Kopiwa\\");
    EXPECT_EQ(Expand("%SYSDIR%x.dll"), SystemDirectory() + "\\x.dll");
    EXPECT_EQ(Expand("%WINDIR%"), WindowsDirectory() + "\\");
    EXPECT_EQ(Expand("%windir%Hbuninst.exe"), WindowsDirectory() + "\\Hbuninst.exe");

    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::string folder = module;
    folder.erase(folder.rfind('\\'));
    EXPECT_EQ(Expand("%SrcDir%Setup.exe"), folder + "\\Setup.exe");
    ResetRunState();
}

TEST(Expansion, AVariableBeforeABackslashAddsNone) {
    ResetRunState();
    lstrcpyA(DefaultDir, "C:\\App");
    EXPECT_EQ(Expand("%DEFDIR%\\sub"), "C:\\App\\sub");
    EXPECT_EQ(Expand("%DEFDIR%sub"), "C:\\App\\sub");
    EXPECT_EQ(Expand("x%DEFDIR%"), "xC:\\App\\");
    // A value that already ends in a backslash gets no second one.
    lstrcpyA(DefaultDir, "D:\\");
    EXPECT_EQ(Expand("%DEFDIR%x"), "D:\\x");
    ResetRunState();
}

TEST(Expansion, TmpDirIsTheTemporaryFolderCutAtItsLastBackslash) {
    char original[MAX_PATH] = "";
    const DWORD had = GetEnvironmentVariableA("TMP", original, sizeof original);
    // A folder whose name ends in 表: its trail byte must not be taken for
    // the backslash that GetTempPathA adds.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "表";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", folder.c_str()));
    char reported[MAX_PATH];
    GetTempPathA(sizeof reported, reported);
    ASSERT_EQ(std::string(reported), folder + "\\") << "the platform did not take the TMP setting";

    EXPECT_EQ(Expand("%TMPDIR%Hbuninst.exe"), folder + "\\Hbuninst.exe");
    EXPECT_EQ(Expand("%tmpdir%"), folder + "\\");

    SetEnvironmentVariableA("TMP", had ? original : nullptr);
    RemoveDirectoryA(folder.c_str());
}

TEST(Expansion, AnUnknownPercentIsCopiedAsItStands) {
    ResetRunState();
    EXPECT_EQ(Expand("100%"), "100%");
    EXPECT_EQ(Expand("%UNKNOWN%x"), "%UNKNOWN%x");
    EXPECT_EQ(Expand("%%DEFDIR%"), "%\\");
    EXPECT_EQ(Expand("%DEFDIR"), "%DEFDIR");
    EXPECT_EQ(Expand(nullptr), "");
}

TEST(Expansion, AFolderThePlatformCannotGiveWithinThePathBufferIsRefused) {
    char original[MAX_PATH] = "";
    const DWORD had = GetEnvironmentVariableA("TMP", original, sizeof original);
    const std::string longTemp = "C:\\" + std::string(300, 't');
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", longTemp.c_str()));
    bool fits = true;
    Expand("%TMPDIR%Hbuninst.exe", &fits);
    EXPECT_FALSE(fits) << "a cut temporary folder would name another folder";
    SetEnvironmentVariableA("TMP", had ? original : nullptr);
    EXPECT_EQ(Expand("x%TMPDIR%", &fits).substr(0, 1), "x");
    EXPECT_TRUE(fits);
}

TEST(Expansion, ANameCutShortAtTheEndOfTheTextIsCopied) {
    ResetRunState();
    EXPECT_EQ(Expand("a%DEF"), "a%DEF");
    EXPECT_EQ(Expand("%"), "%");
    EXPECT_EQ(Expand("%SRCDIR"), "%SRCDIR");
}

TEST(Expansion, AResultOver259BytesIsRefusedAndCutAtACharacter) {
    ResetRunState();
    // 255 bytes of DefaultDir, then "\\" and 表: 258 bytes fit, 表 does not.
    std::string dir(255, 'd');
    lstrcpyA(DefaultDir, dir.c_str());
    bool fits = true;
    std::string out = Expand("%DEFDIR%a表表", &fits);
    EXPECT_FALSE(fits);
    EXPECT_EQ(out, dir + "\\a表");
    EXPECT_EQ(out.size(), 259u);

    std::string exact(259, 'x');
    EXPECT_EQ(Expand(exact.c_str(), &fits), exact);
    EXPECT_TRUE(fits);
    std::string over(300, 'x');
    EXPECT_EQ(Expand(over.c_str(), &fits), exact);
    EXPECT_FALSE(fits);
    ResetRunState();
}

namespace {

UINT WINAPI NoWindowsDirectory(LPSTR, UINT) { return 0; }

}  // namespace

// Without the registry's value the folder is taken on the Windows drive; and
// when Windows does not tell its folder either, there is no such folder.
TEST(Expansion, ProgramFilesWithoutTheRegistryValue) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_ALL_ACCESS,
                            &key),
              ERROR_SUCCESS);
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key, "ProgramFilesDir"), ERROR_SUCCESS);

    EXPECT_EQ(std::string(GetProgramFilesDir()), WindowsDirectory().substr(0, 3) + "Program Files");
    {
        wintest::ScopedImportRedirect failing("kernel32.dll", "GetWindowsDirectoryA",
                                              reinterpret_cast<void*>(NoWindowsDirectory));
        EXPECT_TRUE(failing.active());
        EXPECT_STREQ(GetProgramFilesDir(), "");
        bool fits = true;
        EXPECT_EQ(Expand("%PRGDIR%Harbel", &fits), "");
        EXPECT_FALSE(fits) << "no folder is made up";
    }
    RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, reinterpret_cast<BYTE*>(value), size);
    RegCloseKey(key);
}

TEST(Expansion, ProgramFilesComesFromTheRegistry) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    ASSERT_EQ(RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(GetProgramFilesDir(), value);
    EXPECT_STREQ(GetProgramFilesDir(), "C:\\Program Files");
}
