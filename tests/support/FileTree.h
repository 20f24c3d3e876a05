#pragma once
// Small real file trees for tests: a temporary folder removed afterwards, entries made in one
// line each, and mounts (a tmpfs, a read-only bind) where the process may mount.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

// A fresh folder under `base` (default: the build tree's scratch folder); it is removed with
// everything below it when the object goes, after any mounts made below it are undone.
class TempFolder {
public:
    explicit TempFolder(std::string base = {}) {
        if (base.empty()) {
            const char* scratch = std::getenv("DVO_TEST_TMP");
            base = scratch != nullptr && scratch[0] != '\0' ? scratch : "/tmp";
        }
        std::filesystem::create_directories(base);
        std::string pattern = base + "/dvo-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        for (auto it = m_mounts.rbegin(); it != m_mounts.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        if (m_path.empty())
            return;
        // Folders made unwritable by a test must be emptied too.
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                ::chmod(it->path().c_str(), 0700);
        std::filesystem::remove_all(m_path, ec);
    }
    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] std::string operator/(const std::string& relative) const {
        return m_path + "/" + relative;
    }

    // Mounts here, undone when the folder goes. Returns false (with the reason) when this
    // process may not mount.
    bool Mount(const std::string& source, const std::string& target, const char* type,
               unsigned long flags, const char* data, std::string* reason) {
        PrivateMounts();
        if (::mount(source.c_str(), target.c_str(), type, flags, data) != 0) {
            if (reason != nullptr)
                *reason = std::string("cannot mount here: ") + std::strerror(errno);
            return false;
        }
        m_mounts.push_back(target);
        return true;
    }
    bool MountTmpfs(const std::string& target, const char* options, std::string* reason) {
        return Mount("dvo-test", target, "tmpfs", 0, options, reason);
    }
    // A new folder nobody can write into: its mode does it for a plain user; root, whom modes do
    // not stop, gets a read-only view of it.
    bool MakeUnwritableFolder(const std::string& folder, std::string* reason) {
        ::mkdir(folder.c_str(), 0755);
        if (::geteuid() != 0)
            return ::chmod(folder.c_str(), 0555) == 0;
        return MakeReadOnly(folder, reason);
    }
    // A read-only view of `folder` in its own place.
    bool MakeReadOnly(const std::string& folder, std::string* reason) {
        if (!Mount(folder, folder, nullptr, MS_BIND, nullptr, reason))
            return false;
        if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
            0) {
            if (reason != nullptr)
                *reason = std::string("cannot remount read-only: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

private:
    // Mounts made by a test stay invisible to the rest of the machine when the process can have
    // its own mount namespace (only possible while it has one thread).
    static void PrivateMounts() {
        static const bool done = [] {
            if (::unshare(CLONE_NEWNS) != 0)
                return false;
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
            return true;
        }();
        (void)done;
    }

    std::string m_path;
    std::vector<std::string> m_mounts;
};

inline void WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary) << content;
    ::chmod(path.c_str(), mode);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline bool Exists(const std::string& path) {
    struct stat st = {};
    return ::lstat(path.c_str(), &st) == 0;
}

inline struct stat Lstat(const std::string& path) {
    struct stat st = {};
    ::lstat(path.c_str(), &st);
    return st;
}

inline std::string LinkTarget(const std::string& path) {
    std::error_code ec;
    return std::filesystem::read_symlink(path, ec).string();
}

inline void SetMtime(const std::string& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace testing_support
