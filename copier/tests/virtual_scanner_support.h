// The virtual scanner in a test's Wine prefix: installed as
// C:\windows\twain_32\sane.ds (twain_64 for a 64-bit build, the folder Wine's
// 64-bit manager searches) with its settings in sane.ini, and its log,
// sane.log, read back. Shared by the session tests (the scanner in the test's
// own process) and the end-to-end tests (the scanner inside Kopiwa.exe).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "wintest.h"

namespace scanner {

#ifdef _WIN64
inline std::string TwainDir() { return wintest::WindowsDir() + "\\twain_64"; }
#else
inline std::string TwainDir() { return wintest::WindowsDir() + "\\twain_32"; }
#endif
inline std::string IniPath() { return TwainDir() + "\\sane.ini"; }
inline std::string LogPath() { return TwainDir() + "\\sane.log"; }

// Rewrites the settings ([Scanner] lines); read again at every MSG_OPENDS.
inline void WriteSettings(const std::string& settings) {
    std::ofstream ini(IniPath(), std::ios::trunc);
    ini << "[Scanner]\n" << settings;
}

// Puts the virtual scanner in place with the given settings and an empty log.
inline void InstallScanner(const std::string& settings) {
    CreateDirectoryA(TwainDir().c_str(), nullptr);
    const std::string source = wintest::BuildDir() + "\\fixtures\\virtual_scanner.dll";
    const std::string target = TwainDir() + "\\sane.ds";
    // Once a source has been opened the manager keeps it loaded; the copy in
    // place is the same file.
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        ASSERT_NE(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES) << source;
    }
    WriteSettings(settings);
    DeleteFileA(LogPath().c_str());
}

inline std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    std::ifstream log(LogPath());
    std::string line;
    while (std::getline(log, line)) lines.push_back(line);
    return lines;
}

inline std::vector<std::string> LogLinesStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : LogLines())
        if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    return found;
}

// Index of the first log line starting with `prefix`, or -1.
inline int LogIndex(const std::string& prefix) {
    const std::vector<std::string> lines = LogLines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    return -1;
}

inline std::string LogText() {
    std::string text;
    for (const std::string& line : LogLines()) text += line + "\n";
    return text;
}

// Numbers of the last "SET <cap> <type> a b c ... -> rc" line.
inline std::vector<double> SetValues(const std::string& cap) {
    const std::vector<std::string> lines = LogLinesStartingWith("CONTROL/CAPABILITY/SET " + cap + " ");
    if (lines.empty()) return {};
    std::istringstream words(lines.back());
    std::vector<double> values;
    std::string word;
    while (words >> word && word != "->") {
        char* end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (end && *end == '\0' && !word.empty()) values.push_back(v);
    }
    return values;
}

}  // namespace scanner
