#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::string EnvOr(const char* name, const std::string& fallbackUnderHome) {
    const char* value = std::getenv(name);
    // The XDG rules ignore relative values.
    if (value != nullptr && value[0] == '/')
        return value;
    const std::string home = HomeDir();
    if (home.empty())
        return {};
    return home + fallbackUnderHome;
}

bool IsDirectory(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string ExecutablePath() {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<std::size_t>(n));
        buf.resize(buf.size() * 2);
    }
}

std::string BaseNameWithoutExtension(const std::string& path) {
    const auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::string ExecutableBaseName() { return BaseNameWithoutExtension(ExecutablePath()); }

std::string HomeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return home;
    struct passwd pw = {};
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return {};
}

bool MakeDirectories(const std::string& path, unsigned mode) {
    if (path.empty())
        return false;
    if (IsDirectory(path))
        return true;
    // Create each missing level from the top; an existing level is fine whoever made it.
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/')
            continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
            return false;
    }
    return IsDirectory(path);
}

std::string AppDataDir() {
    const std::string dir = EnvOr("XDG_DATA_HOME", "/.local/share");
    // A folder that cannot be made (a file in the way, a read-only parent) is no data folder:
    // callers fall back rather than write below a path that does not exist.
    if (dir.empty() || !MakeDirectories(dir, 0700))
        return {};
    return dir;
}

std::string ConfigHome() { return EnvOr("XDG_CONFIG_HOME", "/.config"); }

} // namespace platform
