#pragma once
// Harnesses of readers that take a file name write each input to one file per process. The file
// lives in memory (a memfd opened through /proc/self/fd), so that rewriting it thousands of times
// a second never waits for a disk; where that is not available, a file under DVO_TEST_TMP.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dvo_fuzz {

// The path of this process's input file, rewritten with data; aborts when it cannot be written
// (a harness that silently tests nothing would be worse).
inline const std::string& WriteInputFile(const char* tag, const uint8_t* data, std::size_t size) {
    static int fd = -1;
    static const std::string path = [tag] {
        fd = ::memfd_create(tag, MFD_CLOEXEC);
        if (fd >= 0)
            return "/proc/self/fd/" + std::to_string(fd);
        const char* dir = std::getenv("DVO_TEST_TMP");
        const std::string base = dir != nullptr ? dir : "/tmp";
        ::mkdir(base.c_str(), 0700);
        std::string file = base + "/fuzz-" + tag + "-" + std::to_string(::getpid()) + ".csv";
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        return file;
    }();
    if (fd < 0 || ::ftruncate(fd, 0) != 0)
        std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    return path;
}

} // namespace dvo_fuzz
