// Listing a folder by wildcard pattern, one name per call, through handles the caller holds.
#include "DLLs/Brindle/Brindle.h"

#include "platform/Guard.h"
#include "platform/Wildcard.h"

#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

// The joined search path must fit a work buffer of 512 bytes with its terminator.
constexpr std::size_t kMaxSearchPath = 511;
// The callers' name buffers hold 260 bytes; a Linux name has at most 255.
constexpr std::size_t kNameBuffer = 260;

class DirSearch {
public:
    DirSearch(DIR* dir, std::string pattern) : m_dir(dir), m_pattern(std::move(pattern)) {}
    ~DirSearch() { ::closedir(m_dir); }
    DirSearch(const DirSearch&) = delete;
    DirSearch& operator=(const DirSearch&) = delete;

    // The next name that matches into name; "" at the end or on a read error.
    bool Next(char* name) {
        const std::lock_guard lock(m_mutex);
        while (const dirent* entry = ::readdir(m_dir)) {
            if (!platform::MatchesWildcard(m_pattern, entry->d_name))
                continue;
            const std::size_t length = std::strlen(entry->d_name);
            if (length >= kNameBuffer)
                continue; // cannot happen on Linux, but never write past the caller's buffer
            std::memcpy(name, entry->d_name, length + 1);
            return true;
        }
        name[0] = '\0';
        return false;
    }

private:
    std::mutex m_mutex; // one handle used from two threads at once still reads one name a call
    DIR* m_dir;         // owned
    std::string m_pattern;
};

// Handles are numbers that are never reused, so a stale or made-up handle is refused instead of
// reaching freed memory. The registry's lock is held only to look a handle up.
class SearchRegistry {
public:
    void* Add(std::shared_ptr<DirSearch> search) {
        const std::lock_guard lock(m_mutex);
        const std::uintptr_t id = ++m_lastId;
        m_searches.emplace(id, std::move(search));
        return reinterpret_cast<void*>(id);
    }
    std::shared_ptr<DirSearch> Find(void* handle) {
        const std::lock_guard lock(m_mutex);
        const auto it = m_searches.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == m_searches.end() ? nullptr : it->second;
    }
    bool Remove(void* handle) {
        std::shared_ptr<DirSearch> last;
        const std::lock_guard lock(m_mutex);
        const auto it = m_searches.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == m_searches.end())
            return false;
        last = std::move(it->second); // closed after the lock is released
        m_searches.erase(it);
        return true;
    }

private:
    std::mutex m_mutex;
    std::uintptr_t m_lastId = 0x5EA0000; // far from small integers a caller might pass by mistake
    std::unordered_map<std::uintptr_t, std::shared_ptr<DirSearch>> m_searches;
};

SearchRegistry& Registry() {
    static SearchRegistry registry;
    return registry;
}

} // namespace

extern "C" {

void* MFindFirst(const char* dir, const char* pattern, char* name) {
    try {
        if (name == nullptr)
            return nullptr;
        name[0] = '\0';
        if (dir == nullptr || pattern == nullptr)
            return nullptr;
        std::string path(dir);
        if (path.empty() || path.back() != '/')
            path += '/';
        path += pattern;
        if (path.size() > kMaxSearchPath)
            return nullptr;
        // As with the platform search, only the last component carries the wildcards.
        const std::size_t cut = path.rfind('/');
        const std::string folder = cut == 0 ? std::string(1, '/') : path.substr(0, cut);
        std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(folder.c_str()), ::closedir);
        if (stream == nullptr)
            return nullptr;
        auto search = std::make_shared<DirSearch>(stream.get(), path.substr(cut + 1));
        stream.release(); // the search owns it now
        if (!search->Next(name))
            return nullptr;
        return Registry().Add(std::move(search));
    } catch (...) {
        if (name != nullptr)
            name[0] = '\0';
        return nullptr;
    }
}

void MFindNext(void* handle, char* name) {
    try {
        if (name == nullptr)
            return;
        name[0] = '\0';
        if (const auto search = Registry().Find(handle))
            search->Next(name);
    } catch (...) {
        if (name != nullptr)
            name[0] = '\0';
    }
}

int MFindEnd(void* handle) {
    return platform::Guarded<int>(-1, [&]() -> int { return Registry().Remove(handle) ? 0 : -1; });
}

} // extern "C"
