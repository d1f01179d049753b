// The registry as the tests read it back: whether a key is there, and a
// value with its type and bytes.
#pragma once

#include <windows.h>

#include <string>

namespace wintest {

inline bool KeyExists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A value as stored: its type and all its bytes (a text's closing NUL too).
struct RegistryValue {
    bool found = false;
    DWORD type = 0;
    std::string data;
};
inline RegistryValue ReadRegistryValue(HKEY root, const std::string& path, const char* name) {
    RegistryValue value;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.found = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.data[0]),
                                       &size) == ERROR_SUCCESS;
        value.data.resize(value.found ? size : 0);
    }
    RegCloseKey(key);
    return value;
}

}  // namespace wintest
