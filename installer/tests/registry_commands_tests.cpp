// Tests of the registry commands, against the test prefix's own registry.
#include <gmock/gmock.h>

#include "commands.h"
#include "commands_test_support.h"
#include "registry.h"
#include "run_state.h"

using namespace cmdtest;
using wintest::KeyExists;

namespace {

const char kBase[] = "Software\\KopiwaCommandTests";

class RegistryCommands : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        DeleteTree(HKEY_CURRENT_USER, kBase);
    }
    void TearDown() override { DeleteTree(HKEY_CURRENT_USER, kBase); }

    static void DeleteTree(HKEY root, const std::string& path) { wintest::DeleteRegistryTree(root, path); }
    static wintest::RegistryValue ReadValue(const std::string& path, const char* name) {
        return wintest::ReadRegistryValue(HKEY_CURRENT_USER, path, name);
    }
    static DWORD ValueCount(const std::string& path) {
        HKEY key;
        DWORD values = 99;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        return values;
    }
    static std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }
    static std::string Dword(DWORD number) { return std::string(reinterpret_cast<const char*>(&number), 4); }

    const std::string key_ = std::string(kBase) + "\\App Paths\\KOPIWA.EXE";
};

TEST_F(RegistryCommands, CreateKeyMakesMissingKeysWithTheClassWendleAndShowsOneLine) {
    ProgressStandIn progress;
    progress.FillWith("前の表示");
    EXPECT_TRUE(RunLine(RegCreateKeyCommand, "regcreatekey 1 \"" + key_ + "\"", progress.window()));
    EXPECT_EQ(progress.Line(1), "レジストリの更新中です...");
    EXPECT_EQ(progress.Line(2), "");
    EXPECT_EQ(progress.Line(3), "");
    EXPECT_EQ(MeterDone, 1024u);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char keyClass[64] = "";
    DWORD classSize = sizeof keyClass;
    RegQueryInfoKeyA(key, keyClass, &classSize, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_STREQ(keyClass, "Wendle");

    EXPECT_TRUE(RunLine(RegCreateKeyCommand, "regcreatekey 1 \"" + key_ + "\"")) << "an existing key just opens";
    EXPECT_EQ(MeterDone, 2048u);
}

TEST_F(RegistryCommands, SetValueStoresWhatTheTypeNumberSays) {
    ProgressStandIn progress;
    lstrcpyA(DefaultDir, "C:\\Program Files\\Harbel\\表");
    const std::string head = "regsetvalue 1 \"" + key_ + "\" ";

    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "\"Path\" 1 \"%DEFDIR%\"", progress.window()));
    EXPECT_EQ(progress.Line(1), "レジストリの更新中です...");
    wintest::RegistryValue path = ReadValue(key_, "Path");
    EXPECT_EQ(path.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(path.data, Sz("C:\\Program Files\\Harbel\\表")) << "one trailing backslash removed, 表 whole";

    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "\"\" 1 \"%DEFDIR%Kopiwa.exe\""));
    EXPECT_EQ(ReadValue(key_, "").data, Sz("C:\\Program Files\\Harbel\\表\\Kopiwa.exe"))
        << "the empty name is the default value; a file name is kept as it is";

    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "Folder 1 \"C:\\Harbel\\表\""));
    EXPECT_EQ(ReadValue(key_, "Folder").data, Sz("C:\\Harbel\\表")) << "the 0x5C inside 表 is no backslash";

    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "Number 0 42"));
    wintest::RegistryValue number = ReadValue(key_, "Number");
    EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number.data, Dword(42));

    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "Negative 0 -1"));
    EXPECT_EQ(ReadValue(key_, "Negative").data, Dword(0xFFFFFFFF));

    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "NotExpanded 0 \"%DEFDIR%\""));
    EXPECT_EQ(ReadValue(key_, "NotExpanded").data, Dword(0)) << "a word reads as 0";

    const std::string other = std::string(kBase) + "\\Other";
    EXPECT_TRUE(RunLine(RegSetValueCommand, "regsetvalue 1 \"" + other + "\" Name 2 data"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, other)) << "the key is made";
    EXPECT_EQ(ValueCount(other), 0u) << "but nothing is stored for type 2";

    EXPECT_EQ(MeterDone, 7u * 1024u);
}

TEST_F(RegistryCommands, StringDataUpTo519BytesOnceExpandedIsStoredAndLongerIsNot) {
    const std::string head = "regsetvalue 1 \"" + key_ + "\" Path 1 ";
    // An installation folder of 250 bytes: the uninstall command line is
    // longer than a path, and must still be stored whole.
    const std::string folder = "C:\\" + std::string(247, 'd');
    lstrcpyA(DefaultDir, folder.c_str());
    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "\"\"\"%DEFDIR%Hbuninst.exe\"\" -u\""));
    EXPECT_EQ(ReadValue(key_, "Path").data, Sz("\"" + folder + "\\Hbuninst.exe\" -u"));

    // Two such folders and a name: 522 bytes, more than the value may hold.
    const std::string longer = "C:\\" + std::string(252, 'd');
    lstrcpyA(DefaultDir, longer.c_str());
    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "\"%DEFDIR%%DEFDIR%Kopiwa.exe\""));
    EXPECT_EQ(ReadValue(key_, "Path").data, Sz("\"" + folder + "\\Hbuninst.exe\" -u"))
        << "no value cut short replaces the old one";

    // Exactly 519 bytes is the most that is stored.
    const std::string tail(519 - 2 * 256, 't');
    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "\"%DEFDIR%%DEFDIR%" + tail + "\""));
    EXPECT_EQ(ReadValue(key_, "Path").data, Sz(longer + "\\" + longer + "\\" + tail));
    EXPECT_TRUE(RunLine(RegSetValueCommand, head + "\"%DEFDIR%%DEFDIR%" + tail + "x\""));
    EXPECT_EQ(ReadValue(key_, "Path").data.size(), 520u) << "520 bytes with the terminator, no more";
    EXPECT_EQ(MeterDone, 4u * 1024u);
}

TEST_F(RegistryCommands, RootThatIsNotANumberNamesClassesRootAndAnUnknownOneNothing) {
    const std::string name = "KopiwaCommandTests.Root";
    DeleteTree(HKEY_CLASSES_ROOT, name);
    EXPECT_TRUE(RunLine(RegCreateKeyCommand, "regcreatekey HKCU \"" + name + "\""));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, name));
    DeleteTree(HKEY_CLASSES_ROOT, name);

    EXPECT_TRUE(RunLine(RegCreateKeyCommand, "regcreatekey 7 \"" + name + "\""));
    EXPECT_TRUE(RunLine(RegSetValueCommand, "regsetvalue 4 \"" + name + "\" v 0 1"));
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
        EXPECT_FALSE(KeyExists(root, name));
    EXPECT_EQ(MeterDone, 3u * 1024u) << "the meter moves whatever the registry did";
}

TEST_F(RegistryCommands, DeleteKeyTakesOneKeyAndDelValueNeedsAnExistingKey) {
    const std::string parent = std::string(kBase) + "\\Kopiwa";
    const std::string child = parent + "\\1.11";
    RunLine(RegCreateKeyCommand, "regcreatekey 1 \"" + child + "\"");
    RunLine(RegSetValueCommand, "regsetvalue 1 \"" + parent + "\" Gone 1 x");
    RunLine(RegSetValueCommand, "regsetvalue 1 \"" + parent + "\" Kept 1 y");
    MeterDone = 0;

    ProgressStandIn progress;
    EXPECT_TRUE(RunLine(RegDeleteKeyCommand, "regdeletekey 1 \"" + parent + "\"", progress.window()));
    EXPECT_EQ(progress.Line(1), "レジストリの更新中です...");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, child)) << "the NT family keeps a key with subkeys";

    progress.FillWith("前");
    EXPECT_TRUE(RunLine(RegDelValueCommand, "regdelvalue 1 \"" + parent + "\" Gone", progress.window()));
    EXPECT_EQ(progress.Line(1), "レジストリの更新中です...");
    EXPECT_EQ(progress.Line(2), "");
    EXPECT_FALSE(ReadValue(parent, "Gone").found);
    EXPECT_TRUE(ReadValue(parent, "Kept").found);

    EXPECT_TRUE(RunLine(RegDeleteKeyCommand, "regdeletekey 1 \"" + child + "\""));
    EXPECT_TRUE(RunLine(RegDeleteKeyCommand, "regdeletekey 1 \"" + parent + "\""));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, parent));
    EXPECT_TRUE(RunLine(RegDeleteKeyCommand, "regdeletekey 1 \"" + parent + "\"")) << "already gone";

    EXPECT_TRUE(RunLine(RegDelValueCommand, "regdelvalue 1 \"" + parent + "\" Gone"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, parent)) << "a missing key is not created";
    EXPECT_EQ(MeterDone, 6u * 1024u);
}

}  // namespace
