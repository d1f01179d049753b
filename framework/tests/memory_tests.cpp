// The shipped programs' allocation (linked into this test program):
// new (std::nothrow) answers null instead of throwing or ending the program,
// a block for every request, from the process heap of Win32.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <new>

TEST(Allocation, NothrowNewAnswersNullForWhatNoHeapCanHold) {
    // Half the address space: never available to a process, in either build.
    volatile std::size_t huge = SIZE_MAX / 2;
    char* block = new (std::nothrow) char[huge];
    EXPECT_EQ(block, nullptr);
    delete[] block;

    struct Large {
        char bytes[4096];
    };
    volatile std::size_t count = SIZE_MAX / 2 / sizeof(Large);
    Large* blocks = new (std::nothrow) Large[count];
    EXPECT_EQ(blocks, nullptr);
    delete[] blocks;
}

TEST(Allocation, EveryRequestGetsABlockOfItsOwn) {
    char* first = new (std::nothrow) char[0];
    char* second = new (std::nothrow) char[0];
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    delete[] first;
    delete[] second;

    int* value = new (std::nothrow) int(42);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, 42);
    delete value;
}

TEST(Allocation, EveryFormTakesItsBlockFromTheProcessHeap) {
    struct Sized {
        long fields[4];
    };
    HANDLE heap = GetProcessHeap();
    char* array = new (std::nothrow) char[100];
    auto* plain = new long[3];
    Sized* sized = new (std::nothrow) Sized();
    ASSERT_TRUE(array && plain && sized);
    // HeapSize answers (SIZE_T)-1 for a block of another heap.
    auto fromHeap = [heap](void* block, SIZE_T size) {
        return HeapValidate(heap, 0, block) && HeapSize(heap, 0, block) - size < 64;
    };
    EXPECT_TRUE(fromHeap(array, 100));
    EXPECT_TRUE(fromHeap(plain, 3 * sizeof(long)));
    EXPECT_TRUE(fromHeap(sized, sizeof(Sized)));
    delete[] array;
    delete[] plain;
    ::operator delete(sized, sizeof(Sized));  // the sized form the compiler calls for known types
    EXPECT_TRUE(HeapValidate(heap, 0, nullptr)) << "the heap is whole after every kind of delete";
}
