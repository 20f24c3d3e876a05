// Unloading libBrindle gives back everything it allocated for itself: a program that loads and
// unloads it repeatedly must not grow. Checked by LeakSanitizer in the sanitizer build.
#include <gtest/gtest.h>

#include <dlfcn.h>

// Present only when the test runs under LeakSanitizer (the asan preset).
extern "C" __attribute__((weak)) int __lsan_do_recoverable_leak_check();

namespace {

TEST(BrindleLibrary, UnloadLeavesNoLeakAfterPageBlocks) {
    if (__lsan_do_recoverable_leak_check == nullptr)
        GTEST_SKIP() << "needs LeakSanitizer (the asan preset)";
    for (int round = 0; round < 2; ++round) {
        void* library = ::dlopen(BRINDLE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
        const auto getMemory =
            reinterpret_cast<void* (*)(unsigned, int)>(::dlsym(library, "GetMemory"));
        const auto retMemory = reinterpret_cast<int (*)(void*, int)>(::dlsym(library, "RetMemory"));
        ASSERT_TRUE(getMemory && retMemory);
        void* pages = getMemory(10000, 1);
        void* heap = getMemory(100, 0);
        ASSERT_NE(pages, nullptr);
        ASSERT_NE(heap, nullptr);
        EXPECT_NE(retMemory(pages, 1), 0);
        retMemory(heap, 0);
        ASSERT_EQ(::dlclose(library), 0);
    }
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "see the leak report above";
}

} // namespace
