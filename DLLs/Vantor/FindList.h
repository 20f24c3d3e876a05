#pragma once
// The sorted list of names behind SR_FileFindFirst / Next / Close: one per process, created when
// the library is loaded, refilled by each search that finds something.
#include <cstddef>
#include <dirent.h>

namespace vantor {

class FindList {
public:
    static constexpr std::size_t kEntrySize = 260;
    static constexpr int kGrowth = 512;
    using Entry = char[kEntrySize];
    // Grows the array to the given number of entries (realloc's contract); tests make it fail.
    using Reallocate = void* (*)(void* block, std::size_t bytes);

    explicit FindList(Reallocate reallocate = nullptr) noexcept;
    virtual ~FindList();
    FindList(const FindList&) = delete;
    FindList& operator=(const FindList&) = delete;

    // Searches the folder and pattern of `searchPath` ("<folder>/<pattern>"); on a match replaces
    // the list by the matching names in byte order and returns true. Nothing matching (or a folder
    // that cannot be read) keeps the list as it was.
    bool Search(const char* searchPath);
    // Copies the next name to out (260 bytes); false when there is no list or it is exhausted.
    bool Next(char* out) noexcept;
    // Frees the names; false when there was no list.
    bool Close() noexcept;

    [[nodiscard]] int Count() const noexcept { return m_count; }
    [[nodiscard]] int Capacity() const noexcept { return m_capacity; }

private:
    // Adds a name, growing the array by kGrowth entries when full; false when it cannot grow
    // (the names so far stay).
    bool Add(const char* name) noexcept;
    void Free() noexcept;

    Entry* m_names = nullptr; // owned (allocated through m_reallocate), or null
    int m_cursor = 0;
    int m_capacity = 0;
    int m_count = 0;
    DIR* m_hFind = nullptr; // the open folder while names are collected
    Reallocate m_reallocate;
};

// The process's list: created at load, destroyed at unload; null outside that span.
[[nodiscard]] FindList* TheFindList() noexcept;
void CreateFindList() noexcept;
void DestroyFindList() noexcept;

} // namespace vantor
