// Splitting paths, changing extensions, creating directories and renaming without replacing.
#include "DLLs/Brindle/Brindle.h"

#include "platform/Guard.h"
#include "platform/RenameNoReplace.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr char kSeparator = '/';
// Longest path MkDir takes and longest directory GetFileDir hands out (buffers of 1024 bytes).
constexpr std::size_t kMaxWorkPath = 1023;
// ChangeExt2 builds its new name in a buffer of 256 bytes.
constexpr std::size_t kMaxNewName = 255;

// Index of the last separator at index 1 or later; 0 when there is none. Index 0 is skipped so
// that a leading '/' (the root, like a drive on other systems) is never split off.
std::size_t LastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i-- > 1;)
        if (path[i] == kSeparator)
            return i;
    return 0;
}

// Length of the part of path that ChangeExt keeps: up to and including the last dot, 0 without.
std::size_t KeptLength(std::string_view path) {
    const auto dot = path.rfind('.');
    return dot == std::string_view::npos ? 0 : dot + 1;
}

bool Exists(const char* path, struct stat* st) { return ::stat(path, st) == 0; }

// Creates one level unless something already holds the name; a level made meanwhile by another
// caller counts as made.
bool MakeLevel(const char* path) {
    struct stat st = {};
    if (Exists(path, &st))
        return true;
    return ::mkdir(path, 0777) == 0 || errno == EEXIST;
}

} // namespace

extern "C" {

int GetFileDir(const char* path, char* dir) {
    if (path == nullptr || dir == nullptr)
        return -1;
    const std::string_view p(path);
    if (p.size() < 2)
        return -1;
    const std::size_t cut = LastSeparator(p);
    // A directory part that cannot fit the caller's 1024 bytes is refused, not shortened.
    if (cut == 0 || cut > kMaxWorkPath)
        return -1;
    std::memcpy(dir, path, cut);
    dir[cut] = '\0';
    return 0;
}

int GetFileName(const char* path, char* name) {
    if (path == nullptr || name == nullptr || path[0] == '\0')
        return 0;
    const std::string_view p(path);
    const std::size_t cut = LastSeparator(p);
    if (cut == 0) {
        std::memmove(name, path, p.size() + 1);
        return 0;
    }
    const std::size_t copied = p.size() - cut; // the name and its terminator
    std::memmove(name, path + cut + 1, copied);
    return static_cast<int>(copied);
}

int ChangeExt(const char* path, const char* ext, char* out) {
    if (path == nullptr || out == nullptr)
        return 0;
    const std::size_t kept = KeptLength(path);
    const std::string_view e(ext == nullptr ? "" : ext);
    // memmove: out may be path itself, and ext may lie behind the kept part of path.
    std::memmove(out, path, kept);
    if (kept > 0)
        std::memmove(out + kept, e.data(), e.size());
    out[kept > 0 ? kept + e.size() : 0] = '\0';
    return 0;
}

int ChangeExt2(const char* path, const char* ext) {
    return platform::Guarded<int>(ENOMEM, [&]() -> int {
        if (path == nullptr)
            return EFAULT;
        const std::size_t kept = KeptLength(path);
        const std::size_t extLength = kept > 0 && ext != nullptr ? std::strlen(ext) : 0;
        if (kept + extLength > kMaxNewName)
            return ENAMETOOLONG;
        char newName[kMaxNewName + 1];
        ChangeExt(path, ext, newName);
        if (platform::RenameNoReplace(path, newName) == 0)
            return 0;
        return errno;
    });
}

int MkDir(const char* path) {
    if (path == nullptr)
        return -1;
    const std::size_t length = std::strlen(path);
    // A longer path would otherwise be cut and a different directory made.
    if (length > kMaxWorkPath)
        return -1;
    char work[kMaxWorkPath + 1] = {};
    std::memcpy(work, path, length);
    std::size_t n = length;
    // One trailing separator is dropped; the root itself stays "/".
    if (n > 1 && work[n - 1] == kSeparator)
        work[--n] = '\0';

    bool firstSeparator = true;
    for (std::size_t i = 0; i < n; ++i) {
        if (work[i] != kSeparator)
            continue;
        // The part before the first separator is a root that is taken to exist.
        if (firstSeparator) {
            firstSeparator = false;
            continue;
        }
        work[i] = '\0';
        const bool made = MakeLevel(work);
        work[i] = kSeparator;
        if (!made)
            return -1;
    }
    if (!MakeLevel(work))
        return -1;
    struct stat st = {};
    return Exists(work, &st) && S_ISDIR(st.st_mode) ? 0 : -1;
}

int Rename(const char* oldName, const char* newName) {
    try {
        return platform::RenameNoReplace(oldName, newName);
    } catch (...) {
        errno = ENOMEM;
        return -1; // nothing escapes to the caller
    }
}

} // extern "C"
