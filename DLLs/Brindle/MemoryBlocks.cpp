// Memory blocks handed to callers: heap blocks, or whole pages mapped from the system.
#include "DLLs/Brindle/Brindle.h"

#include "platform/Guard.h"
#include "platform/Memory.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// Unmapping needs the size, which the caller does not pass back, so each live page block is
// remembered. This also lets a block that was never handed out (or already returned) fail
// cleanly instead of unmapping someone else's pages.
class PageBlocks {
public:
    void* Take(std::size_t size) noexcept {
        void* block = platform::PageAlloc(size);
        if (block == nullptr)
            return nullptr;
        try {
            const std::lock_guard lock(m_mutex);
            m_sizes.emplace(block, size);
        } catch (...) {
            platform::PageFree(block, size);
            return nullptr;
        }
        return block;
    }

    bool Give(void* block) noexcept {
        std::size_t size = 0;
        {
            const std::lock_guard lock(m_mutex);
            const auto it = m_sizes.find(block);
            if (it == m_sizes.end())
                return false;
            size = it->second;
            m_sizes.erase(it);
        }
        return platform::PageFree(block, size);
    }

private:
    std::mutex m_mutex;
    std::unordered_map<void*, std::size_t> m_sizes;
};

// The registry of live page blocks, made on first use and freed when the library is unloaded,
// so that loading and unloading the library again and again loses nothing. Page blocks still
// out at unload stay mapped: pages taken from the system outlive the library that took them.
// Once freed, both calls refuse page blocks instead of touching or remaking the registry (a
// caller's own destructor may still run after ours at process exit).
std::atomic<PageBlocks*> g_pages{nullptr};
std::atomic<bool> g_unloaded{false};

PageBlocks* Pages() noexcept {
    PageBlocks* pages = g_pages.load(std::memory_order_acquire);
    if (pages != nullptr || g_unloaded.load(std::memory_order_acquire))
        return pages;
    auto* fresh = new (std::nothrow) PageBlocks;
    if (fresh == nullptr)
        return nullptr;
    if (g_pages.compare_exchange_strong(pages, fresh, std::memory_order_acq_rel))
        return fresh;
    delete fresh; // another thread made it first
    return pages;
}

__attribute__((destructor)) void FreePageRegistry() {
    g_unloaded.store(true, std::memory_order_release);
    delete g_pages.exchange(nullptr, std::memory_order_acq_rel);
}

} // namespace

extern "C" {

void* GetMemory(unsigned int size, int kind) {
    return platform::Guarded<void*>(nullptr, [&]() -> void* {
        if (kind == 0)
            return std::malloc(size);
        PageBlocks* pages = Pages();
        return pages != nullptr ? pages->Take(size) : nullptr;
    });
}

int RetMemory(void* block, int kind) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (kind == 0) {
            std::free(block);
            return 0;
        }
        PageBlocks* pages = g_pages.load(std::memory_order_acquire);
        return pages != nullptr && pages->Give(block) ? 1 : 0;
    });
}

} // extern "C"
