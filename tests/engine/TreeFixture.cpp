#include "TreeFixture.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace enginetest {

TempDir::TempDir(bool world) {
    const char* base = std::getenv("DVO_TEST_TMP");
    std::string dir = world || base == nullptr ? std::string("/tmp") : std::string(base);
    ::mkdir(dir.c_str(), 0755);
    std::string pattern = dir + "/engine-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed in " + dir);
    }
    m_path = pattern;
    if (world) {
        ::chmod(m_path.c_str(), 0755);
    }
}

TempDir::~TempDir() { RemoveTree(m_path); }

void MakeFile(const std::string& path, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path);
    }
    if (size > 0 && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot size " + path);
    }
    ::close(fd);
}

void WriteFile(const std::string& path, std::size_t size, int year) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path);
    }
    const std::string bytes(size, 'x');
    const bool written = ::write(fd, bytes.data(), size) == static_cast<ssize_t>(size);
    ::fsync(fd); // the blocks are the file system's from now on
    ::close(fd);
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    const time_t t = std::mktime(&local);
    const timespec times[2] = {{t, 0}, {t, 0}};
    if (!written || ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

void MakeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0) {
        throw std::runtime_error("cannot make " + path);
    }
}

namespace {
void RemoveAt(int parentFd, const char* name) {
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::fchmodat(parentFd, name, 0755, 0);
        if (::unlinkat(parentFd, name, 0) == 0) {
            return;
        }
        const int again = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (again < 0) {
            return;
        }
        ::close(again);
        RemoveAt(parentFd, name);
        return;
    }
    DIR* dir = ::fdopendir(fd);
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") {
            names.push_back(n);
        }
    }
    for (const std::string& n : names) {
        if (::unlinkat(::dirfd(dir), n.c_str(), 0) != 0) {
            RemoveAt(::dirfd(dir), n.c_str());
        }
    }
    ::closedir(dir);
    ::unlinkat(parentFd, name, AT_REMOVEDIR);
}
} // namespace

void RemoveTree(const std::string& path) {
    // Deep trees are removed by an explicit chain of descriptors inside RemoveAt's recursion;
    // test trees stay a few thousand levels deep at most, well within the stack.
    RemoveAt(AT_FDCWD, path.c_str());
}

std::vector<ModelFolder> WalkIndependently(const std::string& root) {
    std::vector<ModelFolder> out;
    std::set<std::pair<dev_t, ino_t>> seen;
    struct stat rootStat = {};
    ::stat(root.c_str(), &rootStat);
    std::function<std::size_t(const std::string&, const std::string&, const std::string&, int)>
        visit = [&](const std::string& directory, const std::string& name, const std::string& path,
                    int depth) -> std::size_t {
        const std::size_t index = out.size();
        out.push_back({directory, name, depth, 0, 0, 0, {}});
        struct stat self = {};
        ::lstat(path.c_str(), &self);
        if (depth > 0 && self.st_dev != rootStat.st_dev) {
            return index; // another file system: listed, not entered
        }
        std::vector<std::string> names;
        if (DIR* dir = ::opendir(path.c_str())) {
            while (dirent* e = ::readdir(dir)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..") {
                    names.push_back(n);
                }
            }
            ::closedir(dir);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            const std::string childPath = path == "/" ? "/" + n : path + "/" + n;
            struct stat st = {};
            if (::lstat(childPath.c_str(), &st) != 0) {
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                out[index].children.push_back({n, true});
                const std::size_t c = visit(path, n, childPath, depth + 1);
                out[index].size += out[c].size;
                out[index].folders += 1 + out[c].folders;
                out[index].files += out[c].files;
            } else {
                out[index].children.push_back({n, false});
                out[index].files += 1;
                if (st.st_nlink > 1 && !seen.insert({st.st_dev, st.st_ino}).second) {
                    continue;
                }
                out[index].size += st.st_size;
            }
        }
        return index;
    };
    const std::size_t slash = root.rfind('/');
    visit(slash == 0 ? "/" : root.substr(0, slash), root.substr(slash + 1), root, 0);
    return out;
}

} // namespace enginetest
