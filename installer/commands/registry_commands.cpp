// The registry commands regcreatekey, regdeletekey, regsetvalue and
// regdelvalue. None of them ever stops the run: whatever the registry answers,
// the installation goes on.
#include "command_support.h"
#include "commands.h"
#include "meter.h"
#include "routines.h"
#include "run_state.h"
#include "handles.h"
#include "script.h"
#include "util.h"

namespace {

// Keys the commands create carry this class name.
char kKeyClass[] = INSTALLER_NAME;

// The key `path` under `root`, made with any missing keys above it; false
// when the line named no key or the registry refuses.
bool CreateKey(RegKey* key, HKEY root, const char* path) {
    return root && path && key->Create(root, path, kKeyClass, KEY_ALL_ACCESS) == ERROR_SUCCESS;
}

bool OpenKey(RegKey* key, HKEY root, const char* path) {
    return root && path && key->Open(root, path, KEY_ALL_ACCESS) == ERROR_SUCCESS;
}

// The key that a command's first two arguments name: the root by its number
// and the path below it. Read as the command's line is shown.
struct KeyArguments {
    HKEY root;
    const char* path;
};
KeyArguments NextKeyArguments(HWND progressDialog) {
    const HKEY root = RootKeyNumber(ReadNumber(NextArgument()));
    const KeyArguments key = {root, NextArgument()};
    ShowProgressLines(progressDialog, "レジストリの更新中です...", nullptr, nullptr);
    return key;
}

// Type 1 data may be longer than a path: a command line of a program in a
// deep folder, with its options.
constexpr int kStringValueSize = 2 * kPathSize;

// Type 1 data: expanded, one trailing backslash removed, stored with its
// terminating zero. Data that does not fit once expanded is not stored at
// all: a value cut short would be a wrong path for whoever reads it later.
void SetStringValue(HKEY key, const char* name, const char* data) {
    char text[kStringValueSize];
    if (!ExpandVariables(text, data, sizeof text)) return;
    StripTrailingBackslash(text);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(lstrlenA(text) + 1));
}

void SetDwordValue(HKEY key, const char* name, const char* data) {
    const DWORD number = static_cast<DWORD>(ReadNumber(data));
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

}  // namespace

HKEY RootKeyNumber(int number) {
    switch (number) {
    case 0: return HKEY_CLASSES_ROOT;
    case 1: return HKEY_CURRENT_USER;
    case 2: return HKEY_LOCAL_MACHINE;
    case 3: return HKEY_USERS;
    default: return nullptr;
    }
}

BOOL RegCreateKeyCommand(HWND progressDialog) {
    const KeyArguments arguments = NextKeyArguments(progressDialog);
    RegKey key;
    CreateKey(&key, arguments.root, arguments.path);
    AddKeywordWeight(kRegCreateKey);
    return TRUE;
}

BOOL RegDeleteKeyCommand(HWND progressDialog) {
    const KeyArguments arguments = NextKeyArguments(progressDialog);
    // The platform's single-key delete: NT keeps a key that has subkeys,
    // Windows 95 takes the subtree with it. Scripts delete leaf first.
    if (arguments.root && arguments.path) RegDeleteKeyA(arguments.root, arguments.path);
    AddKeywordWeight(kRegDeleteKey);
    return TRUE;
}

BOOL RegSetValueCommand(HWND progressDialog) {
    const KeyArguments arguments = NextKeyArguments(progressDialog);
    const char* name = NextArgument();
    const int type = ReadNumber(NextArgument());
    const char* data = NextArgument();
    RegKey key;
    if (CreateKey(&key, arguments.root, arguments.path)) {
        if (type == ValueTypeDword)
            SetDwordValue(key.Get(), name, data);
        else if (type == ValueTypeString)
            SetStringValue(key.Get(), name, data);
    }
    AddKeywordWeight(kRegSetValue);
    return TRUE;
}

BOOL RegDelValueCommand(HWND progressDialog) {
    const KeyArguments arguments = NextKeyArguments(progressDialog);
    const char* name = NextArgument();
    // A key that is not there is not created just to find no value in it.
    RegKey key;
    if (OpenKey(&key, arguments.root, arguments.path)) RegDeleteValueA(key.Get(), name);
    AddKeywordWeight(kRegDelValue);
    return TRUE;
}
