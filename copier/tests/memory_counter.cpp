// Linked into a test-only copy of the copier (kopiwa_counted.exe), never into
// Kopiwa.exe: counts the global and heap memory that the copier's own code
// holds, and its high-water mark, in a block of shared memory that a test
// reads and resets by the process id (memory_counter.h).
//
// The program's calls to the kernel's allocation functions go through its
// import table entries, the __imp_ symbols. This file defines those symbols
// itself, so the linker takes them from here instead of the import library:
// every allocation the copier's code makes passes the counter, while the
// scanner's source and the system's own libraries (the printer driver among
// them) allocate through their own import tables, uncounted.
#include <windows.h>

#include "memory_counter.h"

namespace {

template <class Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

MemoryCounterFigures* Figures() {
    static MemoryCounterFigures* figures = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        char name[64];
        MemoryCounterName(GetCurrentProcessId(), name);
        HANDLE mapping =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof *figures, name);
        // The mapping stays for the life of the process.
        if (mapping) figures = static_cast<MemoryCounterFigures*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    }
    return figures;
}

void Count(long long bytes) {
    MemoryCounterFigures* figures = Figures();
    if (!figures) return;
    figures->current += bytes;
    if (figures->current > figures->peak) figures->peak = figures->current;
}

// Global blocks that the copier frees may be its own or the scanner's image,
// so its own are remembered with their sizes; the heap is only the copier's.
struct Block {
    HGLOBAL handle;
    SIZE_T size;
};
Block g_blocks[4096];

Block* Find(HGLOBAL handle) {
    for (Block& block : g_blocks)
        if (block.handle == handle) return &block;
    return nullptr;
}

void Remember(HGLOBAL handle) {
    if (!handle) return;
    Block* free = Find(nullptr);
    if (!free) return;
    free->handle = handle;
    free->size = GlobalSize(handle);
    Count(static_cast<long long>(free->size));
}

void Forget(HGLOBAL handle) {
    Block* block = handle ? Find(handle) : nullptr;
    if (!block) return;
    Count(-static_cast<long long>(block->size));
    block->handle = nullptr;
}

HGLOBAL WINAPI CountedGlobalAlloc(UINT flags, SIZE_T bytes) {
    static const auto real = Real<decltype(&GlobalAlloc)>("GlobalAlloc");
    HGLOBAL handle = real(flags, bytes);
    Remember(handle);
    return handle;
}

HGLOBAL WINAPI CountedGlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
    static const auto real = Real<decltype(&GlobalReAlloc)>("GlobalReAlloc");
    const bool own = Find(handle) != nullptr;
    HGLOBAL moved = real(handle, bytes, flags);
    if (moved && own) {
        Forget(handle);
        Remember(moved);
    }
    return moved;
}

HGLOBAL WINAPI CountedGlobalFree(HGLOBAL handle) {
    static const auto real = Real<decltype(&GlobalFree)>("GlobalFree");
    Forget(handle);
    return real(handle);
}

LPVOID WINAPI CountedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    static const auto real = Real<decltype(&HeapAlloc)>("HeapAlloc");
    void* block = real(heap, flags, bytes);
    if (block) Count(static_cast<long long>(HeapSize(heap, 0, block)));
    return block;
}

LPVOID WINAPI CountedHeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
    static const auto real = Real<decltype(&HeapReAlloc)>("HeapReAlloc");
    const SIZE_T before = HeapSize(heap, 0, block);
    void* moved = real(heap, flags, block, bytes);
    if (moved) Count(static_cast<long long>(HeapSize(heap, 0, moved)) - static_cast<long long>(before));
    return moved;
}

BOOL WINAPI CountedHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    static const auto real = Real<decltype(&HeapFree)>("HeapFree");
    if (block) Count(-static_cast<long long>(HeapSize(heap, 0, block)));
    return real(heap, flags, block);
}

}  // namespace

// The import table entries, by the names the compiler gives calls to them.
#ifdef _WIN64
#define KOPIWA_IMPORT(name, bytes) asm("__imp_" #name)
#else
#define KOPIWA_IMPORT(name, bytes) asm("__imp__" #name "@" #bytes)
#endif
extern "C" {
decltype(&GlobalAlloc) counted_global_alloc KOPIWA_IMPORT(GlobalAlloc, 8) = CountedGlobalAlloc;
decltype(&GlobalReAlloc) counted_global_realloc KOPIWA_IMPORT(GlobalReAlloc, 12) = CountedGlobalReAlloc;
decltype(&GlobalFree) counted_global_free KOPIWA_IMPORT(GlobalFree, 4) = CountedGlobalFree;
decltype(&HeapAlloc) counted_heap_alloc KOPIWA_IMPORT(HeapAlloc, 12) = CountedHeapAlloc;
decltype(&HeapReAlloc) counted_heap_realloc KOPIWA_IMPORT(HeapReAlloc, 16) = CountedHeapReAlloc;
decltype(&HeapFree) counted_heap_free KOPIWA_IMPORT(HeapFree, 12) = CountedHeapFree;
}
