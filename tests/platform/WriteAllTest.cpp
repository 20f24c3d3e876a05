#include "platform/WriteAll.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// A pipe takes a large write in several pieces when its reader is slower than the writer.
TEST(WriteAll, WritesEveryByteAcrossShortWritesAndFailsOnAClosedReader) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const std::string sent(1 << 20, 'x');
    std::string received;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(ends[0], buf, sizeof buf)) > 0)
            received.append(buf, static_cast<std::size_t>(n));
    });
    EXPECT_TRUE(platform::WriteAll(ends[1], sent));
    ::close(ends[1]);
    reader.join();
    EXPECT_EQ(received.size(), sent.size());

    // No reader left: the failure is reported, not taken for success.
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    EXPECT_FALSE(platform::WriteAll(ends[1], "abc"));
    EXPECT_EQ(errno, EPIPE);
    std::signal(SIGPIPE, previous);
    ::close(ends[1]);
}

} // namespace
