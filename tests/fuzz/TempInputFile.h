#pragma once
// Harnesses of readers that take a file name write each input to one file per process.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>

namespace dvo_fuzz {

// The file of this process, rewritten with data; aborts when it cannot be written (a harness
// that silently tests nothing would be worse).
inline const std::string& WriteInputFile(const char* tag, const uint8_t* data, std::size_t size) {
    static const std::string path = [tag] {
        const char* dir = std::getenv("DVO_TEST_TMP");
        std::string base = dir != nullptr ? dir : "/tmp";
        ::mkdir(base.c_str(), 0700);
        return base + "/fuzz-" + tag + "-" + std::to_string(::getpid()) + ".csv";
    }();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return path;
}

} // namespace dvo_fuzz
