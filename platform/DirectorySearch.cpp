#include "platform/DirectorySearch.h"

#include <cerrno>
#include <dirent.h>
#include <memory>

namespace platform {
namespace {

// Length of the well-formed UTF-8 sequence at the front of s, or 1 for a byte that does not
// start one, so that '?' stands for one character of a Japanese name.
std::size_t CharacterLength(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned lead = b(0);
    if (lead >= 0xC2 && lead <= 0xDF && cont(1))
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF && cont(1) && cont(2)) {
        if ((lead == 0xE0 && b(1) < 0xA0) || (lead == 0xED && b(1) > 0x9F))
            return 1; // overlong form or encoded surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        if ((lead == 0xF0 && b(1) < 0x90) || (lead == 0xF4 && b(1) > 0x8F))
            return 1;
        return 4;
    }
    return 1;
}

// Iterative glob with one backtrack point for the last '*': linear in practice, never recursive,
// so a hostile pattern of many stars cannot exhaust the stack.
bool Glob(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharacterLength(name.substr(n));
            continue;
        }
        if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
            continue;
        }
        if (starP == std::string_view::npos)
            return false;
        // Let the last star take one more character and try again from there.
        p = starP;
        starN += CharacterLength(name.substr(starN));
        n = starN;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

} // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) noexcept {
    if (pattern.empty())
        return false;
    if (Glob(pattern, name))
        return true;
    return pattern.size() > 2 && pattern.ends_with(".*") &&
           Glob(pattern.substr(0, pattern.size() - 2), name);
}

FolderPattern SplitSearchPath(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {".", std::string(path)};
    if (slash == 0)
        return {std::string(1, '/'), std::string(path.substr(1))};
    return {std::string(path.substr(0, slash)), std::string(path.substr(slash + 1))};
}

bool FindMatchingNames(const std::string& folder, std::string_view pattern,
                       std::vector<std::string>& names) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr)
            return errno == 0;
        if (MatchesWildcard(pattern, entry->d_name))
            names.emplace_back(entry->d_name);
    }
}

} // namespace platform
