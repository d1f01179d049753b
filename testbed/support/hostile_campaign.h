// What every hostile-input loop of the copier checks besides its own outcome:
// the process's memory stays bounded, no file outside the test's folder
// changes, and the figures of the run (seed, cases, time) are printed.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "mutation.h"
#include "wintest.h"

namespace hostile {

// Names, sizes and write times of the files directly inside `folder`.
inline std::map<std::string, std::pair<ULONGLONG, ULONGLONG>> FolderState(const std::string& folder) {
    std::map<std::string, std::pair<ULONGLONG, ULONGLONG>> state;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return state;
    do {
        const ULONGLONG size = (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        const ULONGLONG time = (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                               found.ftLastWriteTime.dwLowDateTime;
        state[found.cFileName] = {size, time};
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return state;
}

// The folders a copier parser could write to by mistake: the current folder,
// the temporary folder, the Windows folder and the program's own.
class FolderWatch {
public:
    FolderWatch() {
        char path[MAX_PATH] = "";
        GetCurrentDirectoryA(sizeof path, path);
        Add(path);
        GetTempPathA(sizeof path, path);
        Add(path);
        Add(wintest::WindowsDir());
        GetModuleFileNameA(nullptr, path, sizeof path);
        if (char* slash = std::strrchr(path, '\\')) *slash = '\0';
        Add(path);
    }
    // The folders whose files changed since the watch began.
    std::string Changed() const {
        std::string changed;
        for (const auto& folder : before_)
            if (FolderState(folder.first) != folder.second) changed += folder.first + " ";
        return changed;
    }

private:
    void Add(const std::string& folder) {
        std::string trimmed = folder;
        while (trimmed.size() > 3 && trimmed.back() == '\\') trimmed.pop_back();
        before_[trimmed] = FolderState(trimmed);
    }
    std::map<std::string, std::map<std::string, std::pair<ULONGLONG, ULONGLONG>>> before_;
};

// One run of a loop: its seed and number of cases from the environment, the
// memory ceiling, and the figures printed at the end.
class Campaign {
public:
    Campaign(const char* parser, std::uint64_t seed, std::size_t cases, SIZE_T memoryAllowance)
        : parser_(parser),
          seed_(mutation::Seed(seed)),
          cases_(mutation::Cases(cases)),
          ceiling_(wintest::CommittedMemory() + memoryAllowance),
          start_(GetTickCount()) {}
    ~Campaign() {
        const std::string changed = watch_.Changed();
        EXPECT_EQ(changed, "") << parser_ << ": files changed outside the test's folder";
        std::printf("[ hostile  ] %s: %u cases, seed 0x%llx, %u faults, %lu ms\n", parser_,
                    static_cast<unsigned>(cases_), static_cast<unsigned long long>(seed_),
                    static_cast<unsigned>(faults_), static_cast<unsigned long>(GetTickCount() - start_));
    }
    std::uint64_t Seed() const { return seed_; }
    std::size_t Cases() const { return cases_; }
    // True while the process stays under its ceiling; counts a fault when not.
    bool MemoryBounded() {
        if (wintest::CommittedMemory() <= ceiling_) return true;
        ++faults_;
        return false;
    }
    // A reach figure: `count` of `of` cases got that far. Printed, and a
    // failure below the fraction `floor` (a parser that refuses everything
    // early, or a loop that stopped reaching the code it was made for).
    void Reach(const char* what, std::size_t count, std::size_t of, double floor) {
        std::printf("[ hostile  ] %s: %s in %u of %u\n", parser_, what, static_cast<unsigned>(count),
                    static_cast<unsigned>(of));
        EXPECT_GE(count, static_cast<std::size_t>(floor * of)) << parser_ << ": too few cases " << what;
    }
    // After each case: counts it as a fault when it recorded a failure (a
    // damaged heap included, under make fuzz).
    void EndCase() {
        EXPECT_TRUE(wintest::HeapsIntactIfChecked()) << parser_ << ": a heap block was damaged";
        const int parts = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        if (parts > parts_) ++faults_;
        parts_ = parts;
    }

private:
    const char* parser_;
    std::uint64_t seed_;
    std::size_t cases_;
    SIZE_T ceiling_;
    DWORD start_;
    std::size_t faults_ = 0;
    int parts_ = 0;
    FolderWatch watch_;
};

// Where a block ends readable memory ends: a read past the block faults.
class GuardedBlock {
public:
    explicit GuardedBlock(SIZE_T capacity) {
        SYSTEM_INFO system = {};
        GetSystemInfo(&system);
        const SIZE_T page = system.dwPageSize;
        readable_ = (capacity + page - 1) / page * page;
        pages_ = static_cast<BYTE*>(VirtualAlloc(nullptr, readable_ + page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old = 0;
        if (pages_) VirtualProtect(pages_ + readable_, page, PAGE_NOACCESS, &old);
    }
    ~GuardedBlock() {
        if (pages_) VirtualFree(pages_, 0, MEM_RELEASE);
    }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    SIZE_T Capacity() const { return readable_; }
    // The bytes, placed so that their last one is the last readable byte.
    const BYTE* Place(const std::vector<BYTE>& data) {
        BYTE* start = pages_ + readable_ - data.size();
        if (!data.empty()) std::memcpy(start, data.data(), data.size());
        return start;
    }
    bool Ok() const { return pages_ != nullptr; }

private:
    BYTE* pages_ = nullptr;
    SIZE_T readable_ = 0;
};

// The case's bytes, for a failure message.
inline std::string Hex(const std::vector<unsigned char>& data, std::size_t limit = 64) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < data.size() && i < limit; ++i) {
        std::snprintf(byte, sizeof byte, "%02X ", data[i]);
        text += byte;
    }
    if (data.size() > limit) text += "...";
    return text;
}

}  // namespace hostile
