// What every hostile-input loop checks besides its own outcome: after each
// case, the process's memory stays bounded, the heaps are intact (under make
// fuzz) and no file outside the loop's own folder changed; the figures of the
// run (seed, cases, time, reach) are printed and recorded.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mutation.h"
#include "wintest.h"

namespace hostile {

// One run of a loop: its seed and number of cases from the environment, but
// never more than `most`. Cases may write in `ownFolder` only: all of drive
// C and the test program's folder are watched, and a change elsewhere fails
// the case that made it.
class Campaign {
public:
    Campaign(const char* parser, std::uint64_t seed, std::size_t cases, SIZE_T memoryAllowance,
             const std::string& ownFolder = "", std::size_t most = SIZE_MAX)
        : parser_(parser), seed_(mutation::Seed(seed)), cases_(std::min(mutation::Cases(cases), most)) {
        char program[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, program, sizeof program);
        if (char* slash = std::strrchr(program, '\\')) *slash = '\0';
        for (const std::string& folder : {std::string("C:"), std::string(program)})
            files_.emplace_back(new wintest::FolderWatch(folder, ownFolder));
        ceiling_ = wintest::CommittedMemory() + memoryAllowance;  // the listings are the test's own
        start_ = GetTickCount();
    }
    ~Campaign() {
        // Every part once more, in case a change went unsignalled.
        for (auto& watch : files_) EXPECT_EQ(watch->Changes(Nowhere, true), "") << parser_ << ": files changed";
        char line[200];
        std::snprintf(line, sizeof line, "%s: %u cases, seed 0x%llX, %u faults, %lu ms", parser_,
                      static_cast<unsigned>(cases_), static_cast<unsigned long long>(seed_),
                      static_cast<unsigned>(faults_), static_cast<unsigned long>(GetTickCount() - start_));
        std::printf("[ hostile  ] %s\n", line);
        ::testing::Test::RecordProperty(parser_, line);
    }
    std::uint64_t Seed() const { return seed_; }
    std::size_t Cases() const { return cases_; }
    // Whether case `n` is to run: there are more, and not so many have failed
    // that another adds nothing to look at.
    bool Going(std::size_t n) const { return n < cases_ && faults_ < 5; }
    // A reach figure: `count` of `of` cases got that far. Printed, and a
    // failure below the fraction `floor` (a parser that refuses everything
    // early, or a loop that stopped reaching the code it was made for).
    void Reach(const char* what, std::size_t count, std::size_t of, double floor) {
        std::printf("[ hostile  ] %s: %s in %u of %u\n", parser_, what, static_cast<unsigned>(count),
                    static_cast<unsigned>(of));
        EXPECT_GE(count, static_cast<std::size_t>(floor * of)) << parser_ << ": too few cases " << what;
    }
    // After each case: checks what every case must keep (no file changed but
    // at paths `filesAllowed` takes), and counts the case as a fault, shown
    // with its `input`, when it recorded a failure.
    void EndCase(std::size_t n, const std::string& input,
                 const std::function<bool(const std::string&)>& filesAllowed = Nowhere) {
        EXPECT_LT(wintest::CommittedMemory(), ceiling_) << "case " << n << ": memory grew";
        EXPECT_TRUE(wintest::HeapsIntactIfChecked()) << "case " << n << ": a heap block was damaged";
        for (auto& watch : files_)
            EXPECT_EQ(watch->Changes(filesAllowed), "") << "case " << n << ": files changed outside the test's folder";
        const int parts = Failures();
        if (parts == parts_) return;
        ++faults_;
        ADD_FAILURE() << parser_ << ": case " << n << " of seed 0x" << std::hex << seed_ << ":\n"
                      << input.substr(0, 4000);
        parts_ = Failures();
    }

private:
    static bool Nowhere(const std::string&) { return false; }
    static int Failures() {
        return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    }
    const char* parser_;
    std::uint64_t seed_;
    std::size_t cases_;
    std::vector<std::unique_ptr<wintest::FolderWatch>> files_;
    SIZE_T ceiling_ = 0;
    DWORD start_ = 0;
    std::size_t faults_ = 0;
    int parts_ = Failures();
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
