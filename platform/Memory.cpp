#include "platform/Memory.h"

#include <sys/mman.h>

namespace platform {

void* PageAlloc(std::size_t size) noexcept {
    if (size == 0)
        return nullptr;
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool PageFree(void* block, std::size_t size) noexcept {
    if (block == nullptr)
        return true;
    return ::munmap(block, size) == 0;
}

} // namespace platform
