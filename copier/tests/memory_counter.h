// The memory counter of the test-only copy of the copier (memory_counter.cpp):
// the bytes of global and heap memory that the copier's own code holds, and
// the most it held since the peak was last reset, shared by the process id.
#pragma once

#include <windows.h>

struct MemoryCounterFigures {
    long long current;
    long long peak;
};

inline void MemoryCounterName(DWORD processId, char name[64]) {
    wsprintfA(name, "KopiwaMemoryCounter.%lu", static_cast<unsigned long>(processId));
}

// A test's view of a running copier's figures; empty when it has none.
class MemoryCounterView {
public:
    explicit MemoryCounterView(DWORD processId) {
        char name[64];
        MemoryCounterName(processId, name);
        mapping_ = OpenFileMappingA(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, name);
        if (mapping_) figures_ = static_cast<MemoryCounterFigures*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    }
    ~MemoryCounterView() {
        if (figures_) UnmapViewOfFile(figures_);
        if (mapping_) CloseHandle(mapping_);
    }
    MemoryCounterView(const MemoryCounterView&) = delete;
    MemoryCounterView& operator=(const MemoryCounterView&) = delete;

    bool Ok() const { return figures_ != nullptr; }
    long long Current() const { return figures_ ? figures_->current : 0; }
    long long Peak() const { return figures_ ? figures_->peak : 0; }
    // The high-water mark starts again from what is held now.
    void ResetPeak() {
        if (figures_) figures_->peak = figures_->current;
    }

private:
    HANDLE mapping_ = nullptr;
    MemoryCounterFigures* figures_ = nullptr;
};
