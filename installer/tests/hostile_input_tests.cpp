// Hostile input: deterministic mutation loops over what the installer reads
// from outside. The setup script (its lines, tokens and expansion, and whole
// runs of the real step over every keyword's arguments), the command line, and
// the WININIT.INI list that the Windows 95 way of replacing files rewrites.
// Each case must end in one of the defined outcomes, within bounded memory,
// without changing any file outside the test's own folder. The number of
// cases is small here; KOPIWA_FUZZ_CASES asks for more, KOPIWA_FUZZ_SEED for
// another seed (mutation.h).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "commands.h"
#include "files.h"
#include "hostile_campaign.h"
#include "main_window.h"
#include "mutation.h"
#include "registry.h"
#include "routines.h"
#include "run_state.h"
#include "script.h"
#include "setup_texts.h"
#include "wintest.h"

using namespace setuptext;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string ToText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// ---------------------------------------------------------------------------
// What every loop checks

// Growth of the process's committed memory that no case may exceed: the
// installer's buffers are fixed, and a file or a line is never held whole.
constexpr SIZE_T kMemoryAllowance = 64u << 20;

// Each loop runs in a folder of its own, which is also the current folder and
// the temporary folder: whatever a case writes lands there, and the campaign
// fails a case that changes anything outside it.
class HostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = wintest::TempFolder() + "hostile-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        wintest::RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        CreateDirectoryA((folder_ + "\\tmp").c_str(), nullptr);
        GetCurrentDirectoryA(sizeof previousFolder_, previousFolder_);
        hadTmp_ = GetEnvironmentVariableA("TMP", previousTmp_, sizeof previousTmp_) != 0;
        SetEnvironmentVariableA("TMP", (folder_ + "\\tmp").c_str());
        SetCurrentDirectoryA(folder_.c_str());
    }

    void TearDown() override {
        SetCurrentDirectoryA(previousFolder_);
        SetEnvironmentVariableA("TMP", hadTmp_ ? previousTmp_ : nullptr);
        wintest::RemoveTree(folder_);
    }

    std::string folder_;
    char previousFolder_[MAX_PATH] = "";
    char previousTmp_[MAX_PATH] = "";
    bool hadTmp_ = false;
};

// ---------------------------------------------------------------------------
// The setup script

// Models of the lexical rules, worked out apart from the installer.

// Bytes of the character at `at` of a text that ends at `end`: a lead byte
// with no partner before the end stands alone.
std::size_t CharacterWidth(const std::string& text, std::size_t at, std::size_t end) {
    return IsDBCSLeadByte(static_cast<BYTE>(text[at])) && at + 1 < end ? 2 : 1;
}

// A line: the text ends at 0x1A, a line at LF; CR bytes are dropped; a lead
// byte whose partner would be a CR or the line end stands alone; a line over
// 259 bytes keeps its first whole characters and is not whole.
struct ExpectedLine {
    std::string text;
    bool whole = true;
};
std::vector<ExpectedLine> ExpectedLines(const Bytes& script) {
    std::string text = ToText(script);
    text.erase(std::min(text.find('\x1A'), text.size()));
    std::vector<ExpectedLine> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        ExpectedLine line;
        for (std::size_t at = start; at < end && line.whole;) {
            const std::size_t width = text[at + 1] == '\r' ? 1 : CharacterWidth(text, at, end);
            const std::string character = text[at] == '\r' ? "" : text.substr(at, width);
            line.whole = line.text.size() + character.size() < kPathSize;
            if (line.whole) line.text += character;
            at += width;
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Tokens (of a script line or the command line): parted at `separators`,
// never inside a double-byte character; one that opens with a quote runs to
// the next single quote, a doubled one standing for one quote in it, and the
// byte that ends a token is no part of the next.
std::vector<std::string> ExpectedTokens(const std::string& line, const char* separators) {
    auto separator = [&](char c) { return c != '\0' && std::strchr(separators, c); };
    std::vector<std::string> tokens;
    for (std::size_t at = 0; at < line.size();) {
        if (separator(line[at])) {
            ++at;
            continue;
        }
        const bool quoted = line[at] == '"';
        std::string token;
        for (at += quoted; at < line.size() && (quoted ? line[at] != '"' || line.compare(at, 2, "\"\"") == 0
                                                        : !separator(line[at]));) {
            const bool doubled = quoted && line[at] == '"';
            const std::size_t width = doubled ? 2 : CharacterWidth(line, at, line.size());
            token += line.substr(at, doubled ? 1 : width);
            at += width;
        }
        ++at;  // the closing quote or the separator
        tokens.push_back(token);
    }
    return tokens;
}

// An expansion: each "%NAME%" (any case, at a character's start) becomes its
// folder, which ends in one backslash unless a backslash follows; the result
// is whole when under 260 bytes, else its first whole characters that fit.
using Folders = std::vector<std::pair<std::string, std::string>>;
std::pair<std::string, bool> ExpectedExpansion(const std::string& token, const Folders& folders) {
    std::vector<std::string> characters;
    auto add = [&](const std::string& text, std::size_t at) {
        const std::size_t width = CharacterWidth(text, at, text.size());
        characters.push_back(text.substr(at, width));
        return width;
    };
    for (std::size_t at = 0; at < token.size();) {
        auto named = folders.end();
        if (token[at] == '%')
            named = std::find_if(folders.begin(), folders.end(), [&](const auto& folder) {
                return lstrcmpiA(token.substr(at, folder.first.size()).c_str(), folder.first.c_str()) == 0;
            });
        if (named == folders.end()) {
            at += add(token, at);
            continue;
        }
        at += named->first.size();
        for (std::size_t i = 0; i < named->second.size();) i += add(named->second, i);
        if (characters.back() != "\\" && token[at] != '\\') characters.push_back("\\");
    }
    std::string output;
    for (const std::string& character : characters) {
        if (output.size() + character.size() >= kPathSize) return {output, false};
        output += character;
    }
    return {output, true};
}

// A script that uses every keyword once, in the order a real one would.
const char kSeedScript[] =
    "; every keyword, the way a real script uses them\r\n"
    "appname \"ファズ 表\"\r\n"
    "defaultdirfromreg 1 \"Software\\KopiwaFuzz\" \"dir\"\r\n"
    "defaultdirchk\r\n"
    "chkostype 0 3\r\n"
    "chkosversion 3 10\r\n"
    "chkclassexec \"KopiwaFuzzNeverRuns\" \"ファズ\"\r\n"
    "welcome 3 1 \"%DEFDIR%proposed\" \"注記\"\r\n"
    "startinstall\r\n"
    "startmeter\r\n"
    "\tmkdir \"%DEFDIR%sub\" \"フォルダ\"\r\n"
    "\tcopy \"%TMPDIR%source.bin\" \"%DEFDIR%sub\\copied.bin\" \"説明\"\r\n"
    "\tmove \"%TMPDIR%second.bin\" \"%DEFDIR%moved.bin\"\r\n"
    "\tdel \"%DEFDIR%sub\\none.bin\"\r\n"
    "\trmdir \"%DEFDIR%sub\"\r\n"
    "\tregcreatekey 1 \"Software\\KopiwaFuzz\\Key\"\r\n"
    "\tregsetvalue 1 \"Software\\KopiwaFuzz\\Key\" \"Path\" 1 \"%DEFDIR%Hbuninst.exe -u\"\r\n"
    "\tregsetvalue 1 \"Software\\KopiwaFuzz\\Key\" \"Number\" 0 -2147483648\r\n"
    "\tregdelvalue 1 \"Software\\KopiwaFuzz\\Key\" \"Number\"\r\n"
    "\tregdeletekey 1 \"Software\\KopiwaFuzz\\Key\"\r\n"
    "\tddestart\r\n"
    "\tcreategroup \"KopiwaFuzz\"\r\n"
    "\taddicon \"%DEFDIR%moved.bin\" \"KopiwaFuzz\" \"項目\"\r\n"
    "\tdeleteicon \"KopiwaFuzz\" \"項目\"\r\n"
    "\tdeletegroup \"KopiwaFuzz\"\r\n"
    "if95\r\n"
    "\tmoveatreboot \"%DEFDIR%moved.bin\" \"%DEFDIR%later.bin\"\r\n"
    "endif95\r\n"
    "ifnt\r\n"
    "\tmoveatreboot \"%DEFDIR%moved.bin\" \"NUL\"\r\n"
    "endifnt\r\n"
    "endmeter\r\n"
    "cleanupinstall \"%TMPDIR%Setup.exe\"\r\n"
    "endinstall\r\n"
    "startuninstall\r\n"
    "cleanupuninstall \"%TMPDIR%Hbuninst.exe\" \"%DEFDIR%\"\r\n"
    "enduninstall\r\n"
    "end\r\n"
    "\x1A";

// The script's own words, inserted whole by the mutator. The folders of
// Windows, the system, Program Files and the program, and a path that starts
// at a drive's root, are left out of runs: a script that names them may
// change them, which proves nothing.
std::vector<std::string> ScriptWords(bool allFolders) {
    std::vector<std::string> words;
    for (int i = 0; KeywordTable[i].keyword; ++i) words.push_back(std::string(KeywordTable[i].keyword) + " ");
    for (const char* word : {"%DEFDIR%", "%TMPDIR%", "\"", "\"\"", "\r\n", "\n", "\x1A", "#", ";", "表", "\x81",
                             "-2147483648", "99999999999", "4 "})
        words.push_back(word);
    words.push_back(std::string(300, 'x'));
    words.push_back("%DEFDIR%" + std::string(250, 'd'));
    if (allFolders)
        for (const char* word : {"%PRGDIR%", "%SYSDIR%", "%WINDIR%", "%SRCDIR%", "%defdir%", "%DEFDIR", "\\\\"})
            words.push_back(word);
    return words;
}

// The defined message texts; "*" stands for what the message names.
const char* const kScriptMessages[] = {
    kAbortText,
    "セットアップスクリプトが途中で終わっています。",
    "セットアップスクリプトの*行目が長すぎます。",
    "*のパスが長すぎるか、正しくありません。",
    "*は、*では動作しません。\n*を使用してください。",
    "*は、Windows 95 (*)では動作しません。\nWindows 95 (*)を使用してください。",
    "*は、Windows NT *では動作しません。\nWindows NT *を使用してください。",
    "ファイル*が見つかりません。",
    "コピーするファイル*が見つかりません。",
    "移動するファイル*が見つかりません。",
    "ファイル*のコピーができませんでした。",
    "ファイル*の移動ができませんでした。",
    "新しいファイル*が、すでに存在します。\n上書きしますか?",
    "スタートメニューへの「*」項目の追加ができませんでした。",
};

bool Matches(const char* text, const char* pattern) {
    if (*pattern == '\0') return *text == '\0';
    if (*pattern == '*') {
        for (const char* rest = text;; ++rest) {
            if (Matches(rest, pattern + 1)) return true;
            if (*rest == '\0') return false;
        }
    }
    return *text == *pattern && Matches(text + 1, pattern + 1);
}

bool IsDefinedMessage(const std::string& text) {
    for (const char* pattern : kScriptMessages)
        if (Matches(text.c_str(), pattern)) return true;
    return false;
}

// The platform calls that would reach beyond the test: message boxes are
// recorded and answered, the restart and the clean-up copy are not started,
// and the Programs folder is one in the test's folder.
std::vector<std::string> g_boxes;
std::string g_programsFolder;

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT style) {
    g_boxes.push_back(text ? text : "");
    return (style & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}
BOOL WINAPI NoBeep(UINT) { return TRUE; }
BOOL WINAPI NoRestart(UINT, DWORD) { return TRUE; }
BOOL WINAPI NoProcess(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR,
                      LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}
BOOL WINAPI TestProgramsFolder(LPCITEMIDLIST, LPSTR path) {
    lstrcpynA(path, g_programsFolder.c_str(), MAX_PATH);
    return TRUE;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) joined += text + "\n";
    return joined;
}

// The registry as every case starts: the value that defaultdirfromreg reads
// names the test's folder, and nothing that an earlier case stored is left.
void ResetFuzzKey(const std::string& folder) {
    wintest::DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\KopiwaFuzz");
    wintest::WriteRegistryText(HKEY_CURRENT_USER, "Software\\KopiwaFuzz", "dir", folder + "\\");
}

enum class Outcome { kEnded, kAborted, kStuck };

// Runs `script` silently through the real step, one posted message per line,
// as the main window would, until the run quits.
Outcome RunScript(const Bytes& script, bool install, const std::string& folder) {
    ResetRunState();
    InstallMode = install;
    SilentMode = TRUE;
    UseScriptText(reinterpret_cast<const char*>(script.data()), static_cast<DWORD>(script.size()));
    PrepareRunState();
    lstrcpynA(DefaultDir, (folder + "\\").c_str(), kPathSize);
    g_boxes.clear();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    // ScriptLine only moves forward: a run has at most a step per line and
    // one more that finds no line.
    for (int step = 0; step <= LineCount + 1; ++step) {
        RunScriptStep();
        bool next = false;
        bool quit = false;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                quit = true;
            else if (message.message == WM_USER && !message.hwnd)
                next = true;
            else
                DispatchMessageA(&message);
        }
        if (quit) return !g_boxes.empty() && g_boxes.back() == kAbortText ? Outcome::kAborted : Outcome::kEnded;
        if (!next) return Outcome::kStuck;
    }
    return Outcome::kStuck;
}

class HostileScript : public HostileInput {};

// The lexical layer alone, many times faster than whole runs: a mutated
// script's lines, their tokens and the expansion of each token.
TEST_F(HostileScript, LinesTokensAndExpansion) {
    hostile::Campaign campaign("script lines, tokens and expansion", 0x5EED5C1, 2000, kMemoryAllowance, folder_);
    mutation::Random random(campaign.Seed());
    const Bytes seedScript = ToBytes(kSeedScript);
    const std::vector<std::string> words = ScriptWords(true);
    ResetRunState();
    lstrcpyA(DefaultDir, (folder_ + "\\").c_str());
    char windows[MAX_PATH], system[MAX_PATH], programs[MAX_PATH], program[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE));
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const Folders folders = {{"%PRGDIR%", programs}, {"%DEFDIR%", DefaultDir}, {"%SYSDIR%", system},
                             {"%WINDIR%", windows}, {"%TMPDIR%", folder_ + "\\tmp"},
                             {"%SRCDIR%", std::string(program).substr(0, std::string(program).rfind('\\'))}};
    std::size_t tokensExpanded = 0;
    for (std::size_t n = 0; campaign.Going(n); ++n) {
        const Bytes script = mutation::Mutate(seedScript, random, 8, words);
        UseScriptText(reinterpret_cast<const char*>(script.data()), static_cast<DWORD>(script.size()));
        const std::vector<ExpectedLine> expected = ExpectedLines(script);
        ASSERT_EQ(LineCount, static_cast<int>(expected.size())) << "case " << n;
        for (int line = 0; line < LineCount; ++line) {
            // A guard after each buffer shows any write past its end.
            char buffer[kPathSize + 8];
            std::memset(buffer, 0x5A, sizeof buffer);
            const BOOL whole = ReadScriptLine(line, buffer, kPathSize);
            EXPECT_EQ(buffer[kPathSize + 7], 0x5A) << "case " << n;
            const std::string text = expected[line].text.substr(0, expected[line].text.find('\0'));
            ASSERT_EQ(std::string(buffer), text) << "case " << n << ", line " << line;
            EXPECT_EQ(whole != FALSE, expected[line].whole) << "case " << n << ", line " << line;
            std::vector<std::string> tokens;
            LineTokens cutter(buffer);
            for (char* token = cutter.Next(kLineSeparators); token; token = cutter.Next(kLineSeparators)) {
                ASSERT_TRUE(token >= buffer && token < buffer + kPathSize) << "case " << n;
                tokens.push_back(token);
                char expanded[kPathSize + 8];
                std::memset(expanded, 0x5A, sizeof expanded);
                UnavailableFolder unavailable;
                const BOOL fits = ExpandVariables(expanded, token, kPathSize, &unavailable);
                EXPECT_EQ(expanded[kPathSize + 7], 0x5A) << "case " << n;
                EXPECT_EQ(std::make_pair(std::string(expanded), fits != FALSE), ExpectedExpansion(token, folders))
                    << "case " << n << ": " << token;
                EXPECT_EQ(unavailable.name, nullptr) << "case " << n;
                tokensExpanded += fits != FALSE;
                ReadNumber(token);
                FindKeyword(token);
            }
            EXPECT_EQ(tokens, ExpectedTokens(text, kLineSeparators)) << "case " << n << ", line " << line;
        }
        char name[kPathSize];
        FindAppName(name, sizeof name);
        EXPECT_LT(std::strlen(name), static_cast<std::size_t>(kPathSize)) << "case " << n;
        campaign.EndCase(n, ToText(script));
    }
    ResetRunState();
    // The seed holds some 140 tokens; most cases keep most of them.
    campaign.Reach("tokens expanded", tokensExpanded, campaign.Cases(), 100);
}

// Whole runs of the real step in both modes. Every run must end, by "end" or
// by the abort message, and every message shown must be one of the defined
// ones.
TEST_F(HostileScript, RunsOfTheStep) {
    const Bytes seedScript = ToBytes(kSeedScript);
    const std::vector<std::string> words = ScriptWords(false);

    g_programsFolder = folder_ + "\\Programs";
    CreateDirectoryA(g_programsFolder.c_str(), nullptr);
    wintest::ScopedImportRedirect boxes("user32.dll", "MessageBoxA", reinterpret_cast<void*>(RecordBox));
    wintest::ScopedImportRedirect beeps("user32.dll", "MessageBeep", reinterpret_cast<void*>(NoBeep));
    wintest::ScopedImportRedirect restart("user32.dll", "ExitWindowsEx", reinterpret_cast<void*>(NoRestart));
    wintest::ScopedImportRedirect process("kernel32.dll", "CreateProcessA", reinterpret_cast<void*>(NoProcess));
    wintest::ScopedImportRedirect programs("shell32.dll", "SHGetPathFromIDListA",
                                           reinterpret_cast<void*>(TestProgramsFolder));
    ASSERT_TRUE(boxes.active() && beeps.active() && restart.active() && process.active() && programs.active());

    // The unmutated script runs to its end in both modes.
    const Bytes source(1000, 's');
    // Every case starts afresh, so that one can be run again alone.
    auto writeSources = [&] {
        ResetFuzzKey(folder_);
        // A script may have emptied the temporary folder and removed it.
        CreateDirectoryA((folder_ + "\\tmp").c_str(), nullptr);
        wintest::WriteBytes(folder_ + "\\tmp\\source.bin", ToText(source));
        wintest::WriteBytes(folder_ + "\\tmp\\second.bin", ToText(source));
    };
    writeSources();
    EXPECT_EQ(RunScript(seedScript, true, folder_), Outcome::kEnded) << Joined(g_boxes) << ScriptLine;
    writeSources();
    EXPECT_EQ(RunScript(seedScript, false, folder_), Outcome::kEnded) << Joined(g_boxes) << ScriptLine;

    // The registry under the four roots a script names, but the test's own
    // key, after every case: it may change only at key paths that the case's
    // own text names (a mutated path names another key, rightly), and in the
    // NT list of pending renames when it holds a moveatreboot; what came is
    // removed again. HKEY_USERS holds this user's keys too.
    const std::string own = "Software\\KopiwaFuzz";
    std::string user;
    char name[256];
    for (DWORD i = 0; user.empty() && RegEnumKeyA(HKEY_USERS, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        if (wintest::KeyExists(HKEY_USERS, std::string(name) + "\\" + own)) user = std::string(name) + "\\";
    }
    ASSERT_FALSE(user.empty());
    wintest::RegistryWatch registry[] = {{HKEY_CLASSES_ROOT, own}, {HKEY_CURRENT_USER, own},
                                         {HKEY_LOCAL_MACHINE, own}, {HKEY_USERS, user + own}};
    std::string text;
    auto lower = [](std::string t) {
        for (char& c : t) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return t;
    };
    // Names as the registry gives them back: without the CR bytes that a
    // script line drops, and through UTF-16, where a lead byte with no valid
    // partner becomes the default character.
    auto asStored = [](std::string t) {
        t.erase(std::remove(t.begin(), t.end(), '\r'), t.end());
        std::wstring wide = wintest::Wide(t);
        // The registry takes a run of backslashes in a key path as one.
        wide.erase(std::unique(wide.begin(), wide.end(), [](wchar_t a, wchar_t b) { return a == L'\\' && b == a; }),
                   wide.end());
        return wintest::Narrow(wide);
    };
    auto named = [&](const std::string& path) {
        return text.find(lower(path)) != std::string::npos ||  // "" names the root itself
               (path == "System\\CurrentControlSet\\Control\\Session Manager" &&
                text.find("moveatreboot") != std::string::npos);
    };
    // A file or folder outside the run's own folder that the text names
    // name by name below its drive: a mutated path may start at a drive's
    // root ("\\proposed"), and the run then rightly writes there.
    auto namedFile = [&](const std::string& path) {
        for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
            if (text.find(lower(path.substr(at + 1, path.find('\\', at + 1) - at - 1))) == std::string::npos)
                return false;
        return true;
    };

    // A whole run takes some 50 ms: make fuzz's larger numbers stop at 20,000.
    hostile::Campaign campaign("script runs", 0x5EED5C2, 250, kMemoryAllowance, folder_, 20000);
    mutation::Random random(campaign.Seed());
    std::size_t ended = 0, metered = 0;
    for (std::size_t n = 0; campaign.Going(n); ++n) {
        const Bytes script = mutation::Mutate(seedScript, random, 4, words);
        if (mutation::BeforeFirst(n)) continue;
        writeSources();
        const Outcome outcome = RunScript(script, n % 2 == 0, folder_);
        EXPECT_NE(outcome, Outcome::kStuck) << "case " << n;
        ended += outcome == Outcome::kEnded;
        metered += MeterTotal != 0 && MeterDone != 0;
        text = lower(asStored(ToText(script)));
        for (wintest::RegistryWatch& watch : registry)
            EXPECT_EQ(watch.Changes(named), "") << "case " << n << ": the registry changed where the script names nothing";
        for (const std::string& box : g_boxes) EXPECT_TRUE(IsDefinedMessage(box)) << "case " << n << ": " << box;
        if (outcome == Outcome::kEnded) {
            for (const std::string& box : g_boxes) EXPECT_NE(box, kAbortText) << "case " << n;
        }
        campaign.EndCase(n, ToText(script), namedFile);
    }
    campaign.Reach("ended normally", ended, campaign.Cases(), 0.25);
    campaign.Reach("did work under the meter", metered, campaign.Cases(), 0.2);
    wintest::DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\KopiwaFuzz");
    ResetRunState();
}

// ---------------------------------------------------------------------------
// The command line

// What a command line sets, worked out apart from the parser: tokens split
// at blanks, stepping over double-byte characters whole; a token that opens
// with a quote runs to the next quote. Options in any case, the later one
// winning; a clean-up role takes its paths (empty when over 259 bytes or
// missing) and its restart number.
struct CommandFields {
    bool install = true, silent = false, noRestart = false, cleanupInstall = false, cleanupUninstall = false;
    std::string target, dir;
    int restart = 0;
};
CommandFields ExpectedFields(const std::string& line, const std::string& untouched) {
    const std::vector<std::string> tokens = ExpectedTokens(line, " ");
    CommandFields f;
    f.target = f.dir = untouched;
    auto path = [&](std::size_t i) { return i < tokens.size() && tokens[i].size() < kPathSize ? tokens[i] : ""; };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (lstrcmpiA(t.c_str(), "-i") == 0) f.install = true;
        if (lstrcmpiA(t.c_str(), "-u") == 0) f.install = false;
        if (lstrcmpiA(t.c_str(), "-s") == 0) f.silent = true;
        if (lstrcmpiA(t.c_str(), "-norestart") == 0) f.noRestart = true;
        const bool install = lstrcmpiA(t.c_str(), "-cleanupinstall") == 0;
        if (!install && lstrcmpiA(t.c_str(), "-cleanupuninstall") != 0) continue;
        f.cleanupInstall = install;
        f.cleanupUninstall = !install;
        f.target = path(++i);
        if (install) continue;
        f.dir = path(++i);
        f.restart = ++i < tokens.size() ? ReadNumber(tokens[i].c_str()) : 0;  // atoi's way, tested alone
    }
    return f;
}

TEST_F(HostileInput, CommandLine) {
    hostile::Campaign campaign("command line", 0x5EED0C1, 10000, kMemoryAllowance, folder_);
    mutation::Random random(campaign.Seed());
    const std::vector<Bytes> seeds = {
        ToBytes("\"C:\\Program Files\\Harbel\\Setup.exe\" -s -u"),
        ToBytes("Setup.exe -cleanupuninstall \"C:\\Program Files\\Harbel\\Kopiwa\\Hbuninst.exe\" "
                "\"C:\\Program Files\\Harbel\\Kopiwa\\\"1"),
        ToBytes("Setup.exe -cleanupinstall \"C:\\表\\Setup.exe\" -i"),
    };
    const std::vector<std::string> words = {"-i ", "-u ", "-s ", "-norestart ", "-cleanupinstall ",
                                            "-cleanupuninstall ", "\"", " ", "\t", "表", "\x81",
                                            std::string(300, 'p'), "-2147483648"};
    std::size_t roles = 0;
    for (std::size_t n = 0; campaign.Going(n); ++n) {
        Bytes line = mutation::Mutate(seeds[random.Below(seeds.size())], random, 6, words);
        line.push_back('\0');
        ResetRunState();
        std::memset(CleanupTarget, 0x5A, sizeof CleanupTarget);
        std::memset(CleanupDir, 0x5A, sizeof CleanupDir);
        ParseCommandLine(reinterpret_cast<const char*>(line.data()));
        // A role's paths are whole paths or nothing; a role never named
        // leaves them as they were.
        const CommandFields f = ExpectedFields(reinterpret_cast<const char*>(line.data()), "\x5A");
        EXPECT_EQ(InstallMode != FALSE, f.install) << "case " << n;
        EXPECT_EQ(SilentMode != FALSE, f.silent) << "case " << n;
        EXPECT_EQ(NoRestartMode != FALSE, f.noRestart) << "case " << n;
        EXPECT_EQ(CleanupInstallMode != FALSE, f.cleanupInstall) << "case " << n;
        EXPECT_EQ(CleanupUninstallMode != FALSE, f.cleanupUninstall) << "case " << n;
        for (const auto& field : {std::make_pair(CleanupTarget, f.target), std::make_pair(CleanupDir, f.dir)}) {
            if (field.second == "\x5A")
                EXPECT_EQ(field.first[0], '\x5A') << "case " << n;
            else
                EXPECT_EQ(std::string(field.first), field.second) << "case " << n;
        }
        EXPECT_EQ(CleanupRestart, f.restart) << "case " << n;
        roles += f.cleanupInstall || f.cleanupUninstall;
        campaign.EndCase(n, ToText(line));
    }
    ResetRunState();
    campaign.Reach("name a clean-up role", roles, campaign.Cases(), 0.2);
}

// ---------------------------------------------------------------------------
// WININIT.INI

// What the rewrite must make of `input`: read as a text-mode read does (CR LF
// becomes LF, 0x1A ends the text), every line up to and including the first
// that is exactly "[Rename]" with CR LF, then the entry, then the rest with
// CR LF line ends and its last line as it ended. Without the section, every
// line ends in CR LF and the entry is not written.
std::string ExpectedRewrite(const Bytes& input, const std::string& entry, bool* sectionFound) {
    std::string text = ToText(input);
    const std::size_t mark = text.find('\x1A');
    if (mark != std::string::npos) text.erase(mark);
    std::string lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t crlf = text.find("\r\n", at);
        if (crlf == std::string::npos) {
            lines += text.substr(at);
            break;
        }
        lines += text.substr(at, crlf - at) + "\n";
        at = crlf + 2;
    }
    std::string output;
    *sectionFound = false;
    std::size_t at = 0;
    while (at < lines.size()) {
        const std::size_t end = lines.find('\n', at);
        const std::string line = lines.substr(at, end == std::string::npos ? std::string::npos : end - at);
        output += line + "\r\n";
        at = end == std::string::npos ? lines.size() : end + 1;
        if (line == "[Rename]") {
            *sectionFound = true;
            output += entry + "\r\n";
            for (; at < lines.size(); ++at) output += lines[at] == '\n' ? std::string("\r\n") : std::string(1, lines[at]);
            break;
        }
    }
    return output;
}

TEST_F(HostileInput, WininitRewrite) {
    hostile::Campaign campaign("WININIT.INI rewrite", 0x5EED1A1, 400, kMemoryAllowance, folder_);
    mutation::Random random(campaign.Seed());
    const std::vector<Bytes> seeds = {
        ToBytes("[Rename]\r\nNUL=C:\\OLD.TMP\r\n"),
        ToBytes("; list\r\n[rename]\r\n[Rename]\r\nC:\\A.DLL=C:\\A.NEW\r\n[Other]\r\nx=y"),
        ToBytes("[Other]\nkey=value\n\n[Rename]\r\n\x1A" "after the mark\r\n"),
        ToBytes(std::string(3000, 'L') + "\r\n[Rename]\r\n" + std::string(1100, 'M')),
    };
    const std::vector<std::string> words = {"[Rename]", "[Rename]\r\n", "\r\n", "\r", "\n", "\x1A", "=",
                                            std::string(1024, 'b'), "表"};
    const std::string entry = "C:\\KOPIWA\\KOPIWA.EXE=C:\\KOPIWA\\KOPIWA.NEW";
    const std::string in = folder_ + "\\wininit.in";
    const std::string out = folder_ + "\\wininit.out";
    const std::string wininit = folder_ + "\\WININIT.INI";
    for (std::size_t n = 0; campaign.Going(n); ++n) {
        const Bytes input = mutation::Mutate(seeds[random.Below(seeds.size())], random, 6, words);
        wintest::WriteBytes(in, ToText(input));

        // The copying half against its model.
        {
            HANDLE reading = CreateFileA(in.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            HANDLE writing = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            ASSERT_NE(reading, INVALID_HANDLE_VALUE);
            ASSERT_NE(writing, INVALID_HANDLE_VALUE);
            BOOL ioOk = TRUE;
            const BOOL written = CopyWithRenameEntry(reading, writing, entry.c_str(), &ioOk);
            CloseHandle(reading);
            CloseHandle(writing);
            bool sectionFound = false;
            const std::string expected = ExpectedRewrite(input, entry, &sectionFound);
            EXPECT_TRUE(ioOk) << "case " << n;
            EXPECT_EQ(written != FALSE, sectionFound) << "case " << n;
            EXPECT_EQ(wintest::ReadBytes(out), expected) << "case " << n;
        }

        // The whole rewrite: the entry is in the list afterwards, and the
        // temporary copy is gone.
        wintest::WriteBytes(wininit, ToText(input));
        AddWininitRenameEntry(wininit.c_str(), "C:\\KOPIWA\\KOPIWA.EXE", "C:\\KOPIWA\\KOPIWA.NEW");
        const std::string result = wintest::ReadBytes(wininit);
        char value[MAX_PATH] = "";
        GetPrivateProfileStringA("Rename", "C:\\KOPIWA\\KOPIWA.EXE", "", value, sizeof value, wininit.c_str());
        EXPECT_TRUE(result.find(entry + "\r\n") != std::string::npos || std::string(value) == "C:\\KOPIWA\\KOPIWA.NEW")
            << "case " << n;
        const wintest::FileListing leftovers = wintest::ListFiles(folder_ + "\\tmp");
        EXPECT_TRUE(leftovers.empty()) << "case " << n << ": " << (leftovers.empty() ? "" : leftovers.begin()->first);
        campaign.EndCase(n, ToText(input));
    }
}

}  // namespace
