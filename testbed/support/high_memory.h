// Global memory above 4 GB, as a 64-bit Windows often hands it out and as
// Wine does not by itself: for tests that must see a handle with its upper
// half in use (a 4-byte copy of it would no longer lock). No GoogleTest here:
// the virtual scanner links it too.
#pragma once

#include <windows.h>

namespace wintest {

// A fixed global block (its handle is its address) of at least `size` bytes,
// zeroed, taken while every free range below 4 GB is reserved, so that the
// process heap has to place it above. It is a megabyte at least: a smaller
// block could still fit in the heap's existing low space. Null when none can
// be had up there; in a 32-bit process an ordinary block of `size` bytes.
HGLOBAL GlobalAllocAbove4GB(SIZE_T size);

// Whether a handle needs more than 32 bits.
inline bool IsAbove4GB(const void* handle) {
    return reinterpret_cast<ULONG_PTR>(handle) > 0xFFFFFFFFul;
}

}  // namespace wintest
