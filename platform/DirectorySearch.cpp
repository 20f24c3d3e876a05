#include "platform/DirectorySearch.h"

#include "platform/Wildcard.h"

#include <cerrno>
#include <dirent.h>
#include <memory>

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

} // namespace

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
    return FindMatchingNames(folder, {}, pattern, names);
}

bool FindMatchingNames(const std::string& folder, std::string_view literal,
                       std::string_view pattern, std::vector<std::string>& names) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr)
            return errno == 0;
        if (MatchesWildcard(literal, pattern, entry->d_name))
            names.emplace_back(entry->d_name);
    }
}

} // namespace platform
