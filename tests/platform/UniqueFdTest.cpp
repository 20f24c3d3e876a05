#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

int OpenNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

TEST(UniqueFd, ResetReleaseAndMoveLeaveExactlyOneOwner) {
    const int a = OpenNull();
    const int b = OpenNull();
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    {
        platform::UniqueFd fd(a);
        fd.reset(b); // the old descriptor is closed at once, not at scope exit
        EXPECT_FALSE(IsOpen(a));
        EXPECT_EQ(fd.get(), b);

        platform::UniqueFd moved(std::move(fd));
        EXPECT_FALSE(fd.valid());
        EXPECT_EQ(moved.release(), b); // handed over: this owner no longer closes it
        EXPECT_FALSE(moved.valid());
    }
    EXPECT_TRUE(IsOpen(b));
    ::close(b);
}

TEST(UniqueFd, ClosingKeepsErrnoForTheFailureBeforeIt) {
    {
        platform::UniqueFd fd(OpenNull());
        ASSERT_TRUE(fd.valid());
        errno = ENOENT;
        fd.reset();
        EXPECT_EQ(errno, ENOENT);
        fd.reset(OpenNull());
        errno = EACCES;
    }
    EXPECT_EQ(errno, EACCES);
}

} // namespace
