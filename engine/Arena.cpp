#include "engine/Arena.h"

#include "engine/FaultInjection.h"

#include <cstdlib>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace dvo {

Arena& Arena::operator=(Arena&& other) noexcept {
    if (this != &other) {
        Release();
        m_chunkSize = other.m_chunkSize;
        m_next = std::exchange(other.m_next, 0);
        m_end = std::exchange(other.m_end, 0);
        m_reserved = std::exchange(other.m_reserved, 0);
        m_chunks = std::move(other.m_chunks);
        other.m_chunks.clear();
    }
    return *this;
}

// Under AddressSanitizer chunks stay in its heap, where a write past one is caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapChunks = false;
#else
constexpr bool kMapChunks = true;
#endif

char* Arena::TakeChunk(std::size_t size) {
    if (!kMapChunks || size < kMappedChunk) {
        return static_cast<char*>(std::malloc(size));
    }
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
}

void Arena::GiveChunk(const Chunk& chunk) noexcept {
    if (!kMapChunks || chunk.size < kMappedChunk) {
        std::free(chunk.base);
    } else {
        ::munmap(chunk.base, chunk.size);
    }
}

void* Arena::AllocateSlow(std::size_t bytes, std::size_t align) {
    // A block larger than a quarter chunk gets a chunk of its own, so the current chunk's
    // remaining space is not thrown away for it.
    const std::size_t need = bytes + align;
    if (faults::ArenaChunkFails()) {
        throw std::bad_alloc();
    }
    // Room for the chunk's entry first, so a chunk is never taken and then lost.
    m_chunks.reserve(m_chunks.size() + 1);
    if (need > m_chunkSize / 4 && m_next != 0) {
        char* base = TakeChunk(need);
        if (base == nullptr) {
            throw std::bad_alloc();
        }
        m_chunks.push_back({base, need});
        m_reserved += need;
        const std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(base) + (align - 1)) &
                                 ~static_cast<std::uintptr_t>(align - 1);
        return reinterpret_cast<void*>(p);
    }
    const std::size_t size = need > m_chunkSize ? need : m_chunkSize;
    char* base = TakeChunk(size);
    if (base == nullptr) {
        throw std::bad_alloc();
    }
    m_chunks.push_back({base, size});
    m_reserved += size;
    m_next = reinterpret_cast<std::uintptr_t>(base);
    m_end = m_next + size;
    const std::uintptr_t p = (m_next + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
    m_next = p + bytes;
    return reinterpret_cast<void*>(p);
}

bool Arena::Contains(const void* p) const noexcept {
    const char* c = static_cast<const char*>(p);
    for (const Chunk& chunk : m_chunks) {
        if (c >= chunk.base && c < chunk.base + chunk.size) {
            return true;
        }
    }
    return false;
}

void Arena::Release() noexcept {
    for (const Chunk& chunk : m_chunks) {
        GiveChunk(chunk);
    }
    m_chunks.clear();
    m_next = m_end = 0;
    m_reserved = 0;
}

} // namespace dvo
