#pragma once
// Bump allocation for the scan's nodes and names: one arena per worker thread, so building the
// tree takes no lock and no malloc per entry. Everything lives until the arena is destroyed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace dvo {

class Arena {
public:
    explicit Arena(std::size_t chunkSize = 1u << 20) : m_chunkSize(chunkSize) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    Arena(Arena&& other) noexcept { *this = std::move(other); }
    Arena& operator=(Arena&& other) noexcept;
    ~Arena() { Release(); }

    // Uninitialised memory aligned to `align` (a power of two, at most 64).
    [[nodiscard]] void* Allocate(std::size_t bytes, std::size_t align = alignof(std::max_align_t)) {
        std::uintptr_t p = (m_next + (align - 1)) & ~static_cast<std::uintptr_t>(align - 1);
        if (p + bytes > m_end || m_next == 0) {
            return AllocateSlow(bytes, align);
        }
        m_next = p + bytes;
        return reinterpret_cast<void*>(p);
    }

    template <typename T> [[nodiscard]] T* AllocateArray(std::size_t count) {
        return static_cast<T*>(Allocate(sizeof(T) * count, alignof(T)));
    }

    // A NUL-terminated copy of `text`.
    [[nodiscard]] const char* CopyString(std::string_view text) {
        char* p = static_cast<char*>(Allocate(text.size() + 1, 1));
        std::memcpy(p, text.data(), text.size());
        p[text.size()] = '\0';
        return p;
    }

    // Bytes taken from the system, for memory reports.
    [[nodiscard]] std::size_t ReservedBytes() const noexcept { return m_reserved; }
    // True when `p` points into one of this arena's chunks.
    [[nodiscard]] bool Contains(const void* p) const noexcept;

    void Release() noexcept;

private:
    struct Chunk {
        char* base;
        std::size_t size;
    };
    // Chunks this large are mapped from the system and unmapped on release: from malloc, once
    // one such block was freed, glibc serves the next ones from its heaps (its mmap threshold
    // rises), where a search's hundreds of megabytes stay resident, scattered, after release.
    static constexpr std::size_t kMappedChunk = 128 * 1024;
    [[nodiscard]] static char* TakeChunk(std::size_t size);
    static void GiveChunk(const Chunk& chunk) noexcept;
    void* AllocateSlow(std::size_t bytes, std::size_t align);

    std::size_t m_chunkSize = 1u << 20;
    std::uintptr_t m_next = 0;
    std::uintptr_t m_end = 0;
    std::size_t m_reserved = 0;
    std::vector<Chunk> m_chunks;
};

} // namespace dvo
