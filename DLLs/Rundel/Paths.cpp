// The current folder, and Rundel's own ChangeExt and GetFileName (they differ from Brindle's).
#include "DLLs/Rundel/Rundel.h"
#include "platform/Guard.h"

#include <cstring>
#include <unistd.h>

namespace {

constexpr std::size_t kPathBuffer = 256;

} // namespace

extern "C" {

int GetCurrentPath(char* path) {
    if (path == nullptr)
        return -1;
    try {
        char work[kPathBuffer];
        // A folder that does not fit is reported, not cut into the name of another folder.
        if (::getcwd(work, sizeof work) == nullptr) {
            path[0] = '\0';
            return -1;
        }
        std::size_t length = std::strlen(work);
        if (length < kPathBuffer - 1 && (length == 0 || work[length - 1] != '/'))
            work[length++] = '/';
        work[length] = '\0';
        std::memcpy(path, work, length + 1);
        return 0;
    } catch (...) {
        path[0] = '\0';
        return -1;
    }
}

int ChangeExt(const char* path, const char* ext, char* result) {
    return platform::Guarded(0, [&] {
        if (path == nullptr || result == nullptr)
            return 0;
        const char* dot = std::strrchr(path, '.');
        std::size_t kept = dot == nullptr ? 0 : static_cast<std::size_t>(dot - path) + 1;
        const std::size_t extLength = ext == nullptr ? 0 : std::strlen(ext);
        // An empty extension takes the dot away as well.
        if (extLength == 0 && kept > 0)
            --kept;
        // memmove: result may be path itself, and ext may lie behind the kept part of path.
        std::memmove(result, path, kept);
        if (extLength > 0)
            std::memmove(result + kept, ext, extLength);
        result[kept + extLength] = '\0';
        return 0;
    });
}

int GetFileName(const char* path, char* name) {
    return platform::Guarded(-1, [&] {
        if (name == nullptr)
            return -1;
        if (path == nullptr || path[0] == '\0') {
            name[0] = '\0';
            return -1;
        }
        const char* slash = std::strrchr(path, '/');
        const char* start = slash == nullptr ? path : slash + 1;
        // memmove: name may be path itself.
        std::memmove(name, start, std::strlen(start) + 1);
        return 0;
    });
}

} // extern "C"
