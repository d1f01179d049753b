// new and delete over the process heap of Win32, in every form the compiler
// calls: plain, nothrow, array and sized. Linked into the shipped programs
// in place of the C++ runtime's, which allocate through the C runtime DLL.
#include <windows.h>

#include <new>

namespace {

void* Allocate(std::size_t size) {
    // Every allocation is distinct, even of no bytes.
    return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void Release(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

// The throwing forms may not answer null and nothing here throws: a program
// built without exceptions ends, as its C++ runtime would end it.
void* AllocateOrEnd(std::size_t size) {
    void* block = Allocate(size);
    if (!block) FatalAppExitA(0, "out of memory");
    return block;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrEnd(size); }
void* operator new[](std::size_t size) { return AllocateOrEnd(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }

void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
