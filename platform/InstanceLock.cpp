#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string InstanceLockPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st{};
    if (runtime != nullptr && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
        return std::string(runtime) + "/" + name + ".lock";
    return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

InstanceLockResult TakeInstanceLock(const std::string& name) {
    const std::string path = InstanceLockPath(name);
    // O_NOFOLLOW: in /tmp another user could plant a link to a file of ours.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return InstanceLockResult::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? InstanceLockResult::TakenByAnother : InstanceLockResult::Failed;
    }
    // Intentionally never closed: the lock lives exactly as long as the process.
    return InstanceLockResult::Taken;
}

} // namespace platform
