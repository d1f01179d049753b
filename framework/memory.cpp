// The allocation the framework's programs use: `new (std::nothrow)`, answered
// from the C runtime's heap with a null pointer when it is exhausted.
//
// The C++ runtime's own nothrow forms call the throwing form inside a try
// block, which links in the whole exception machinery and, through its locks,
// the threads library. These replacements keep that out of programs that are
// built without exceptions. The deletes stay the runtime's, which free().
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    // Every allocation is distinct, even of no bytes.
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
