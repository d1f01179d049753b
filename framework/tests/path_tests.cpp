// Path, number and string helpers: multibyte-aware, bounded.
#include <gtest/gtest.h>

#include <cstring>

#include "kfw/app.h"
#include "kfw/path.h"
#include "test_resource.h"

namespace {

// "表" is 0x95 0x5C in code page 932: its trail byte looks like a backslash.
const char kHyo[] = "\x95\x5c";

std::string Name(const std::string& path) {
    char name[MAX_PATH];
    EXPECT_TRUE(kfw::ProgramNameFromPath(path.c_str(), name, sizeof name)) << path;
    return name;
}

std::string Help(const std::string& path) {
    char help[MAX_PATH];
    EXPECT_TRUE(kfw::ReplaceExtension(path.c_str(), ".HLP", help, sizeof help)) << path;
    return help;
}

}  // namespace

TEST(Path, ProgramNameAndHelpPathStepOverDoubleByteBackslashes) {
    ASSERT_EQ(std::string("表"), kHyo) << "the tests must be compiled for code page 932";
    const std::string folder = std::string("C:\\") + kHyo + "\\";
    EXPECT_EQ(Name(folder + "Kopiwa.exe"), "Kopiwa");
    EXPECT_EQ(Name(folder + kHyo + ".exe"), kHyo);
    EXPECT_EQ(Help(folder + kHyo + ".exe"), folder + kHyo + ".HLP");
    EXPECT_EQ(Name(std::string("C:\\x\\") + kHyo), kHyo) << "no extension";
    EXPECT_EQ(Help(std::string("C:\\x\\") + kHyo), std::string("C:\\x\\") + kHyo + ".HLP");
}

TEST(Path, OnlyTheFileNameCarriesTheExtension) {
    EXPECT_EQ(Name("C:\\a.b\\prog"), "prog");
    EXPECT_EQ(Help("C:\\a.b\\prog"), "C:\\a.b\\prog.HLP");
    EXPECT_EQ(Name("C:\\dir\\archive.tar.exe"), "archive.tar");
    EXPECT_EQ(Help("C:\\dir\\Kopiwa.EXE"), "C:\\dir\\Kopiwa.HLP");
    EXPECT_EQ(Name("D:Kopiwa.exe"), "Kopiwa");
}

TEST(Path, ResultsThatDoNotFitAreRefusedNotCut) {
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(kfw::ReplaceExtension("C:\\Kopiwa.exe", ".HLP", small, sizeof small));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(kfw::ProgramNameFromPath("C:\\LongerName.exe", small, sizeof small));
    EXPECT_STREQ(small, "");
    EXPECT_TRUE(kfw::ProgramNameFromPath("C:\\Seven77.exe", small, sizeof small));
    EXPECT_STREQ(small, "Seven77");
}

TEST(ParseInteger, AcceptsWhatTheDataExchangeAccepts) {
    struct Case {
        const char* text;
        int value;
    } accepted[] = {{"100", 100}, {" 25\t", 25}, {"-3", -3}, {"+7", 7}, {"0", 0},
                    {"00400", 400}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}};
    for (const Case& c : accepted) {
        int value = -99;
        EXPECT_TRUE(kfw::ParseInteger(c.text, &value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    for (const char* text : {"", " ", "abc", "12a", "1 2", "-", "+-1", "2147483648", "-2147483649",
                             "99999999999999999999999", "１２"}) {
        int value = -99;
        EXPECT_FALSE(kfw::ParseInteger(text, &value)) << text;
        EXPECT_EQ(value, -99) << text;
    }
}

TEST(FormatString, ReplacesPlaceholdersWithinTheBuffer) {
    char text[64];
    AfxFormatString2(text, sizeof text, AFX_IDP_PARSE_INT_RANGE, "25", "400");
    EXPECT_STREQ(text, "From 25 to 400, please.");
    AfxFormatString1(text, sizeof text, AFX_IDP_PARSE_INT_RANGE, "1");
    EXPECT_STREQ(text, "From 1 to , please.");
    char tiny[10];
    AfxFormatString2(tiny, sizeof tiny, AFX_IDP_PARSE_INT_RANGE, "25", "400");
    EXPECT_STREQ(tiny, "From 25 t");
}

TEST(FormatString, NeverSplitsADoubleByteCharacter) {
    char buffer[5];
    AfxFormatString1(buffer, sizeof buffer, IDS_DOUBLE_BYTE, "x");
    EXPECT_EQ(std::string(buffer), std::string(kHyo) + "x") << "the second 表 does not fit whole";
    // Nor an inserted text: what is cut ends on a whole character.
    const std::string hyo2 = std::string(kHyo) + kHyo;
    struct Case {
        size_t capacity;
        std::string insert, expected;
    } cases[] = {
        {6, hyo2, hyo2},         // the inserted second 表 would be cut
        {7, hyo2, hyo2 + kHyo},  // fits exactly; the format's last 表 does not
        {8, hyo2, hyo2 + kHyo},  // nor here, where its half would
        {9, hyo2, hyo2 + hyo2},
        {16, "a\x95", std::string(kHyo) + "a" + kHyo},  // a lead byte without its trail
    };
    for (const Case& c : cases) {
        char text[16];
        AfxFormatString1(text, static_cast<int>(c.capacity), IDS_DOUBLE_BYTE, c.insert.c_str());
        EXPECT_EQ(std::string(text), c.expected) << c.capacity;
    }
    char missing[8];
    AfxFormatString1(missing, sizeof missing, 0xFFFE, "x");
    EXPECT_STREQ(missing, "") << "a missing string gives an empty text";
}
