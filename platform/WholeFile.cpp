#include "platform/WholeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

int WriteFileWhole(const std::string& path, const std::function<bool(int fd)>& write) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return errno;
    int error = 0;
    try {
        if (!write(fd))
            error = errno != 0 ? errno : EIO;
    } catch (...) {
        error = ENOMEM;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temp.c_str());
    return error;
}

} // namespace platform
