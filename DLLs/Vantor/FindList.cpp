#include "DLLs/Vantor/FindList.h"

#include "platform/DirectorySearch.h"
#include "platform/Wildcard.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace vantor {
namespace {

FindList* g_findList = nullptr;

void* SystemReallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes); }

int CompareEntries(const void* a, const void* b) {
    return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

} // namespace

FindList::FindList(Reallocate reallocate) noexcept
    : m_reallocate(reallocate != nullptr ? reallocate : &SystemReallocate) {}

FindList::~FindList() {
    if (m_hFind != nullptr)
        ::closedir(m_hFind);
    Free();
}

void FindList::Free() noexcept {
    std::free(m_names);
    m_names = nullptr;
    m_count = m_capacity = m_cursor = 0;
}

bool FindList::Add(const char* name) noexcept {
    if (m_count == m_capacity) {
        const std::size_t entries = static_cast<std::size_t>(m_capacity) + kGrowth;
        void* grown = m_reallocate(m_names, entries * kEntrySize);
        if (grown == nullptr)
            return false;
        m_names = static_cast<Entry*>(grown);
        m_capacity += kGrowth;
    }
    // Linux names have at most 255 bytes; the cut only guards the entry.
    const std::size_t length = ::strnlen(name, kEntrySize - 1);
    std::memcpy(m_names[m_count], name, length);
    m_names[m_count][length] = '\0';
    ++m_count;
    return true;
}

bool FindList::Search(const char* searchPath) {
    const platform::FolderPattern search = platform::SplitSearchPath(searchPath);
    m_hFind = ::opendir(search.folder.c_str());
    if (m_hFind == nullptr)
        return false;
    const dirent* entry = nullptr;
    do {
        entry = ::readdir(m_hFind);
    } while (entry != nullptr && !platform::MatchesWildcard(search.pattern, entry->d_name));
    if (entry == nullptr) {
        ::closedir(m_hFind);
        m_hFind = nullptr;
        return false;
    }

    Free();
    bool room = Add(entry->d_name);
    while (room && (entry = ::readdir(m_hFind)) != nullptr)
        if (platform::MatchesWildcard(search.pattern, entry->d_name))
            room = Add(entry->d_name);
    ::closedir(m_hFind);
    m_hFind = nullptr;
    // When the very first array could not be had there is no list: the search found nothing
    // it can hand out.
    if (m_names == nullptr)
        return false;
    std::qsort(m_names, static_cast<std::size_t>(m_count), kEntrySize, &CompareEntries);
    return true;
}

bool FindList::Next(char* out) noexcept {
    if (m_names == nullptr || m_cursor >= m_count || out == nullptr)
        return false;
    const char* name = m_names[m_cursor++];
    std::memcpy(out, name, std::strlen(name) + 1);
    return true;
}

bool FindList::Close() noexcept {
    if (m_names == nullptr)
        return false;
    Free();
    return true;
}

FindList* TheFindList() noexcept { return g_findList; }

void CreateFindList() noexcept {
    if (g_findList == nullptr)
        g_findList = new (std::nothrow) FindList();
}

void DestroyFindList() noexcept {
    delete g_findList;
    g_findList = nullptr;
}

} // namespace vantor
