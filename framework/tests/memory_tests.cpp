// The framework's allocation: new (std::nothrow) answers null instead of
// throwing or ending the program, and a block for every request.
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
