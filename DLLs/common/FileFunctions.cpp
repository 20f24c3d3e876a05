#include "DLLs/common/FileFunctions.h"

#include "DLLs/common/TraceLine.h"
#include "platform/DebugOutput.h"
#include "platform/DirectorySearch.h"
#include "platform/FileCopy.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace common {
namespace {

// The one wildcard of a family search: any extension, or none.
constexpr std::string_view kAnyExtension = ".*";

// Copies text and its terminating zero into a path buffer; false (buffer untouched) when it
// does not fit.
bool Store(char* buffer, std::string_view text) {
    if (text.size() > kMaxPathLength)
        return false;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return true;
}

std::string_view LastComponent(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A family of files: the folder to search and the base name its members share, each member
// named <base> or <base>.<any extension>. The base comes from a real name and is matched as
// plain bytes ("a?.txt" is the family of "a?", never of "ab"). Nothing when the name has no
// base of its own (empty, ".", "..", or ending in '/'): such a search would take in files of
// another family or every hidden file.
struct Family {
    std::string folder;
    std::string base;
};

std::optional<Family> FamilyOf(const char* name, const char* directory) {
    if (name == nullptr || std::string_view(name).find_first_not_of('/') == std::string_view::npos)
        return std::nullopt;
    const auto dir = directory != nullptr ? BoundedPath(directory) : std::optional<std::string>("");
    if (!dir)
        return std::nullopt;
    const auto joined = JoinPath(*dir, name);
    if (!joined)
        return std::nullopt;
    const std::string_view last = LastComponent(*joined);
    if (last.empty() || last == "." || last == "..")
        return std::nullopt;
    // The search path "<folder>/<base>.*" must fit a path buffer like any other path.
    if (!ReplaceExtension(*joined, kAnyExtension))
        return std::nullopt;
    platform::FolderPattern split =
        platform::SplitSearchPath(std::string_view(*joined).substr(0, ExtensionDot(*joined)));
    return Family{std::move(split.folder), std::move(split.pattern)};
}

std::string InFolder(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool IsDotOrDotDot(const std::string& name) { return name == "." || name == ".."; }

} // namespace

std::size_t ExtensionDot(std::string_view path) noexcept {
    const auto slash = path.rfind('/');
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos || dot <= start)
        return std::string_view::npos;
    return dot;
}

std::optional<std::string> JoinPath(std::string_view base, std::string_view more) {
    while (!more.empty() && more.front() == '/')
        more.remove_prefix(1);
    std::string out(base);
    if (!base.empty() && !more.empty() && base.back() != '/')
        out += '/';
    out += more;
    if (out.size() > kMaxPathLength)
        return std::nullopt;
    return out;
}

std::optional<std::string> ReplaceExtension(std::string_view path, std::string_view extension) {
    const std::size_t dot = ExtensionDot(path);
    std::string out(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
    out += extension;
    if (out.size() > kMaxPathLength)
        return std::nullopt;
    return out;
}

std::optional<std::string> BoundedPath(const char* text) {
    if (text == nullptr)
        return std::nullopt;
    const std::size_t length = ::strnlen(text, kPathBufferSize);
    if (length > kMaxPathLength)
        return std::nullopt;
    return std::string(text, length);
}

int GetApplicationDataPath(char* buffer) {
    if (buffer == nullptr)
        return 0;
    // Without a data folder the caller's text stays as it was: naming a folder that does not
    // exist would send its files nowhere.
    const std::string dir = platform::AppDataDir();
    if (!dir.empty())
        Store(buffer, dir);
    return 0;
}

int GetApplicationFilenameBody(char* buffer) {
    if (buffer == nullptr)
        return 0;
    const std::string exe = platform::ExecutablePath();
    if (exe.empty())
        return 0;
    const std::string_view name = LastComponent(exe);
    if (!Store(buffer, name.substr(0, ExtensionDot(name))))
        buffer[0] = '\0';
    return 0;
}

int GetFilenameBody(char* path) {
    if (path == nullptr)
        return 0;
    const std::string_view name = LastComponent(path);
    const std::string body(name.substr(0, ExtensionDot(name)));
    std::memcpy(path, body.c_str(), body.size() + 1);
    return 0;
}

int GetCurrentPath(char* out, const char* path) {
    if (out == nullptr)
        return 0;
    // Read the path before writing: callers may pass one buffer as both.
    std::string folder;
    if (path != nullptr) {
        const std::string_view text(path);
        const auto slash = text.rfind('/');
        if (slash != std::string_view::npos)
            folder = text.substr(0, slash + 1);
    }
    if (!Store(out, folder))
        out[0] = '\0';
    return 0;
}

int PathAppend(char* path, const char* more) {
    if (path == nullptr || more == nullptr)
        return 0;
    const auto joined = JoinPath(path, more);
    return joined && Store(path, *joined) ? 1 : 0;
}

int PathRenameExtension(char* path, const char* extension) {
    TraceLine("SRPathRenameExtension Called -->");
    int result = 0;
    if (path != nullptr && extension != nullptr) {
        const auto renamed = ReplaceExtension(path, extension);
        result = renamed && Store(path, *renamed) ? 1 : 0;
    }
    TraceLine("SRPathRenameExtension Return <-- Result:");
    return result;
}

int PathGetExtension(const char* path, char* out) {
    platform::DebugOutput("SRPathGetExtension Called -->");
    int result = -1;
    if (out != nullptr) {
        std::string extension;
        if (path != nullptr) {
            const std::string_view text(path);
            const std::size_t dot = ExtensionDot(text);
            if (dot != std::string_view::npos && dot + 1 + kMaxPathLength >= text.size()) {
                extension = text.substr(dot + 1);
                result = 0;
            }
        }
        Store(out, extension);
    }
    platform::DebugOutput("SRPathGetExtension Return <-- Result:");
    return result;
}

int FileExists(const char* path) {
    struct stat st = {};
    return path != nullptr && ::lstat(path, &st) == 0 ? 1 : 0;
}

int FileExistsWithPath(const char* name, const char* directory) {
    if (name == nullptr)
        return 0;
    const auto dir = directory != nullptr ? BoundedPath(directory) : std::optional<std::string>("");
    if (!dir)
        return 0;
    const auto path = JoinPath(*dir, name);
    return path ? FileExists(path->c_str()) : 0;
}

int MakeDirectory(const char* path) {
    if (path == nullptr)
        return ENOENT;
    return ::mkdir(path, 0777) == 0 ? 0 : errno;
}

int DeleteFile(const char* name, const char* directory) {
    TraceLine("SRDeleteFile Called -->");
    if (name == nullptr && directory == nullptr) {
        TraceLine("SRDeleteFile Return <-- NULL POINTER ASSIGNED");
        return -1;
    }
    std::optional<std::string> path;
    if (directory != nullptr) {
        path = BoundedPath(directory);
        if (path && name != nullptr)
            path = JoinPath(*path, name);
    } else {
        path = BoundedPath(name);
    }
    // unlink, never rmdir: a folder is not a file and stays.
    const int result = path && ::unlink(path->c_str()) == 0 ? 0 : -2;
    TraceLine("SRDeleteFile Return <-- Result:");
    return result;
}

int DeleteFiles(const char* name, const char* directory) {
    TraceLine("SRDeleteFiles Called -->");
    int result = 0;
    const auto family = FamilyOf(name, directory);
    std::vector<std::string> matches;
    if (!family) {
        result = -1;
    } else if (platform::FindMatchingNames(family->folder, family->base, kAnyExtension, matches)) {
        for (const auto& match : matches) {
            if (IsDotOrDotDot(match))
                continue;
            // The folder searched, not the caller's directory: a name with a folder part of its
            // own must not delete files of the same names one level up.
            if (::unlink(InFolder(family->folder, match).c_str()) != 0)
                result = -2;
        }
    }
    TraceLine("SRDeleteFiles Return <-- Result:");
    return result;
}

int CopyFile(const char* name, const char* directory, const char* source) {
    if (name == nullptr || source == nullptr)
        return kCopyFailed;
    const auto dir = directory != nullptr ? BoundedPath(directory) : std::optional<std::string>("");
    if (!dir)
        return kCopyFailed;
    const auto target = JoinPath(*dir, name);
    if (!target)
        return kCopyFailed;
    // A file copy: the source must be a regular file, reached through a link when it is one.
    struct stat st = {};
    if (::stat(source, &st) != 0 || !S_ISREG(st.st_mode))
        return kCopyFailed;
    std::string from = source;
    if (::lstat(source, &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(source, nullptr);
        if (resolved == nullptr)
            return kCopyFailed;
        from = resolved;
        std::free(resolved);
    }
    return platform::CopyPath(from, *target) == 0 ? 0 : kCopyFailed;
}

int CopyFiles(const char* newBase, const char* directory, const char* oldName) {
    platform::DebugOutput("SRCopyFiles Called -->");
    int result = 0;
    const auto base = BoundedPath(newBase);
    const auto family = base ? FamilyOf(oldName, directory) : std::nullopt;
    std::vector<std::string> matches;
    if (!family) {
        result = kCopyFailed;
    } else if (platform::FindMatchingNames(family->folder, family->base, kAnyExtension, matches)) {
        std::sort(matches.begin(), matches.end());
        for (const auto& match : matches) {
            if (IsDotOrDotDot(match))
                continue;
            const std::size_t dot = ExtensionDot(match);
            std::string target = *base;
            if (dot != std::string::npos)
                target += match.substr(dot);
            result = CopyFile(target.c_str(), directory, InFolder(family->folder, match).c_str());
            if (result != 0)
                break;
        }
    }
    platform::DebugOutput("SRCopyFiles Return <-- Result:");
    return result;
}

int MoveEntry(const char* newPath, const char* existingPath) {
    if (newPath == nullptr || existingPath == nullptr || newPath[0] == '\0' ||
        existingPath[0] == '\0')
        return 0;
    return platform::MovePath(existingPath, newPath) == 0 ? -1 : 0;
}

} // namespace common
