// Global memory above 4 GB; see high_memory.h.
#include "high_memory.h"

namespace wintest {

#ifdef _WIN64
namespace {

const ULONG_PTR kFourGB = 0x100000000ull;
const ULONG_PTR kGranularity = 0x10000;  // where reservations may start
const int kMaxReservations = 4096;
// The heap takes blocks this large from fresh memory of their own.
const SIZE_T kFreshBlockSize = 1 << 20;

// Reserves the free ranges below 4 GB into `reserved`; returns how many.
int ReserveLowAddressSpace(void** reserved) {
    int count = 0;
    MEMORY_BASIC_INFORMATION info;
    for (ULONG_PTR at = kGranularity; at < kFourGB && count < kMaxReservations;
         at = reinterpret_cast<ULONG_PTR>(info.BaseAddress) + info.RegionSize) {
        if (!VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info)) break;
        if (info.State != MEM_FREE) continue;
        const ULONG_PTR start = (at + kGranularity - 1) & ~(kGranularity - 1);
        ULONG_PTR end = reinterpret_cast<ULONG_PTR>(info.BaseAddress) + info.RegionSize;
        if (end > kFourGB) end = kFourGB;
        if (end <= start) continue;
        void* range = VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESERVE, PAGE_NOACCESS);
        if (range) reserved[count++] = range;
    }
    return count;
}

}  // namespace

HGLOBAL GlobalAllocAbove4GB(SIZE_T size) {
    static void* reserved[kMaxReservations];
    const int count = ReserveLowAddressSpace(reserved);
    HGLOBAL block = GlobalAlloc(GPTR, size < kFreshBlockSize ? kFreshBlockSize : size);
    for (int i = 0; i < count; ++i) VirtualFree(reserved[i], 0, MEM_RELEASE);
    if (block && !IsAbove4GB(block)) {
        GlobalFree(block);
        block = nullptr;
    }
    return block;
}
#else
HGLOBAL GlobalAllocAbove4GB(SIZE_T size) { return GlobalAlloc(GPTR, size); }
#endif

}  // namespace wintest
