#include "platform/InstanceLock.h"

#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

std::string RuntimeDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st = {};
    if (runtime != nullptr && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
        return runtime;
    return {};
}

enum class Outcome { Taken, Busy, Refused };

// Opens the lock file without following a link (nor blocking on a fifo planted there) and takes
// the lock; a file that is not ours alone (another owner, other permissions than 0600, a link,
// no regular file) is refused, since whoever else can open it could hold or remove the lock.
// The descriptor of a taken lock is never closed: the lock lives exactly as long as the process.
Outcome Lock(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return Outcome::Refused;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 07777) != 0600 || st.st_nlink != 1) {
        ::close(fd);
        return Outcome::Refused;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Outcome::Busy : Outcome::Refused;
    }
    return Outcome::Taken;
}

} // namespace

std::string InstanceLockPath(const std::string& name) {
    const std::string runtime = RuntimeDir();
    if (!runtime.empty())
        return runtime + "/" + name + ".lock";
    return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

std::string PrivateInstanceLockPath(const std::string& name) {
    const std::string data = AppDataDir();
    return data.empty() ? std::string() : data + "/" + name + ".lock";
}

std::string InstanceSocketPath(const std::string& name) {
    // Never in /tmp: another user could put a socket of their own there first and be handed
    // the folders this user opens.
    std::string folder = RuntimeDir();
    if (folder.empty())
        folder = AppDataDir();
    if (folder.empty())
        return {};
    std::string path = folder + "/" + name + ".socket";
    constexpr std::size_t kSocketPathRoom = sizeof(sockaddr_un{}.sun_path);
    return path.size() < kSocketPathRoom ? path : std::string();
}

InstanceLockResult TakeInstanceLock(const std::string& name) {
    if (!RuntimeDir().empty()) {
        switch (Lock(InstanceLockPath(name))) {
        case Outcome::Taken: return InstanceLockResult::Taken;
        case Outcome::Busy: return InstanceLockResult::TakenByAnother;
        case Outcome::Refused: return InstanceLockResult::Failed;
        }
    }
    // The fallback in /tmp is open to other users: one could plant a file there before us, or
    // take theirs away again. So the user's own data folder, which nobody else reaches, holds a
    // lock too; the /tmp file is locked as well when it is ours alone, and left aside when it is
    // not. Either lock held by a live process (only ever one of ours) refuses the start.
    const std::string own = PrivateInstanceLockPath(name);
    const Outcome mine = own.empty() ? Outcome::Refused : Lock(own);
    if (mine == Outcome::Busy)
        return InstanceLockResult::TakenByAnother;
    const Outcome shared = Lock(InstanceLockPath(name));
    if (shared == Outcome::Busy)
        return InstanceLockResult::TakenByAnother;
    return mine == Outcome::Taken || shared == Outcome::Taken ? InstanceLockResult::Taken
                                                              : InstanceLockResult::Failed;
}

} // namespace platform
