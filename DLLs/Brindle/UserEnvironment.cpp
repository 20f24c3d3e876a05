// The user's working folder and language, from the environment of the process.
#include "DLLs/Brindle/Brindle.h"

#include "platform/Guard.h"
#include "platform/Locale.h"
#include "platform/Paths.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

// The caller's buffer for the working folder, terminator included.
constexpr std::size_t kWorkDirBuffer = 260;

} // namespace

extern "C" {

int GetWorkDir(char* path) {
    return platform::Guarded<int>(BRINDLE_E_MEMORY, [&]() -> int {
        if (path == nullptr)
            return BRINDLE_E_OUT_OF_BOUNDS;
        path[0] = '\0';
        const std::string dir = platform::AppDataDir();
        struct stat st = {};
        if (dir.empty() || ::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return BRINDLE_E_NO_FILE;
        if (dir.size() >= kWorkDirBuffer)
            return BRINDLE_E_OUT_OF_BOUNDS;
        std::memcpy(path, dir.c_str(), dir.size() + 1);
        return BRINDLE_OK;
    });
}

int GetLocale(char* out) {
    return platform::Guarded<int>(0, [&]() -> int {
        if (out == nullptr)
            return 0;
        // Four hexadecimal digits at most, so 5 bytes always hold it.
        std::snprintf(out, 5, "%x", platform::LanguageIdFromEnvironment() & 0xFFFFu);
        return 0;
    });
}

} // extern "C"
