// Memory blocks handed to callers: heap blocks, or whole pages mapped from the system.
#include "DLLs/Brindle/Brindle.h"

#include "platform/Memory.h"

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

// Never destroyed: a block may still be given back while the process exits.
PageBlocks& Pages() {
    static PageBlocks* const pages = new PageBlocks;
    return *pages;
}

} // namespace

extern "C" {

void* GetMemory(unsigned int size, int kind) {
    try {
        if (kind == 0)
            return std::malloc(size);
        return Pages().Take(size);
    } catch (...) {
        return nullptr; // nothing escapes to the caller
    }
}

int RetMemory(void* block, int kind) {
    try {
        if (kind == 0) {
            std::free(block);
            return 0;
        }
        return Pages().Give(block) ? 1 : 0;
    } catch (...) {
        return 0; // nothing escapes to the caller
    }
}

} // extern "C"
