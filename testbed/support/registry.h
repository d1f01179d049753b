// The registry as the tests set it up and read it back: whether a key is
// there, and a value with its type and bytes.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

namespace wintest {

inline bool KeyExists(HKEY root, const std::string& path) {
    RegKey key;
    return key.Open(root, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

// A value as stored: its type and all its bytes (a text's closing NUL too).
struct RegistryValue {
    bool found = false;
    DWORD type = 0;
    std::string data;
};
inline RegistryValue ReadRegistryValue(HKEY root, const std::string& path, const char* name) {
    RegistryValue value;
    RegKey key;
    DWORD size = 0;
    if (key.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS ||
        RegQueryValueExA(key.Get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return value;
    value.data.resize(size);
    value.found = RegQueryValueExA(key.Get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.data[0]),
                                   &size) == ERROR_SUCCESS;
    value.data.resize(value.found ? size : 0);
    return value;
}

// Stores a value, making its key (and the keys above) when missing; false
// when either failed.
inline bool WriteRegistryValue(HKEY root, const std::string& path, const char* name, DWORD type,
                               const std::string& data) {
    RegKey key;
    return key.Create(root, path.c_str(), nullptr, KEY_ALL_ACCESS) == ERROR_SUCCESS &&
           RegSetValueExA(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}
// A REG_SZ value: the text and its closing NUL.
inline bool WriteRegistryText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    return WriteRegistryValue(root, path, name, REG_SZ, text + std::string(1, '\0'));
}

}  // namespace wintest
