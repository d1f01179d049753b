// Files and folders as the tests look at them: whether a path is there, the
// temporary folder, and folders made with their parents.
#pragma once

#include <windows.h>

#include <string>

namespace wintest {

// A file or folder at `path`.
inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The temporary folder, ending in a backslash.
inline std::string TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return temp;
}

// Creates every folder of `path` that is missing.
inline void MakeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

}  // namespace wintest
