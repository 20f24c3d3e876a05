#include "DLLs/Brindle/Brindle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace {

TEST(GetMemory, HeapBlocksOfKindZero) {
    auto* block = static_cast<unsigned char*>(GetMemory(1000, 0));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 1000);
    EXPECT_EQ(block[999], 0xAB);
    RetMemory(block, 0);
}

TEST(GetMemory, PageBlocksOfOtherKinds) {
    const long page = ::sysconf(_SC_PAGESIZE);
    for (const int kind : {1, 2, -1}) {
        auto* block = static_cast<unsigned char*>(GetMemory(10000, kind));
        ASSERT_NE(block, nullptr) << kind;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % static_cast<std::uintptr_t>(page), 0u);
        // Zero-filled and writable through the last byte.
        for (int i = 0; i < 10000; i += 997)
            EXPECT_EQ(block[i], 0) << i;
        block[9999] = 1;
        EXPECT_NE(RetMemory(block, kind), 0) << kind;
        // Given back once only.
        EXPECT_EQ(RetMemory(block, kind), 0) << kind;
    }
}

TEST(RetMemory, RefusesWhatWasNotAPageBlock) {
    EXPECT_EQ(GetMemory(0, 1), nullptr);
    int onStack = 0;
    EXPECT_EQ(RetMemory(&onStack, 1), 0);
    EXPECT_EQ(RetMemory(nullptr, 1), 0);
    // A heap block is not a page block.
    void* heap = GetMemory(64, 0);
    EXPECT_EQ(RetMemory(heap, 1), 0);
    RetMemory(heap, 0);
}

} // namespace
