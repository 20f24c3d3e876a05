// Version checks, date text, bit and string helpers, and the screen queries with and without
// an X display.
#include "DLLs/Vantor/Vantor.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <poll.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(System, VersionChecksAreFalse) {
    EXPECT_EQ(SRCheckOSVersion(), 0);
    EXPECT_EQ(SRCheckOSVersion2(), 0);
    EXPECT_EQ(SRCheckOSVersion3(), 0);
}

TEST(System, DateTimeStringNeedsTwentyBytes) {
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CMNGetDateTimeString(buffer, 19), -1);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(CMNGetDateTimeString(nullptr, 20), -1);
    EXPECT_EQ(CMNGetDateTimeString(buffer, 20), 0);
    EXPECT_TRUE(std::regex_match(std::string(buffer),
                                 std::regex(R"(\d{4}/[01]\d/[0-3]\d [0-2]\d:[0-5]\d:[0-6]\d)")))
        << buffer;
    EXPECT_EQ(buffer[20], '#');
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y/%m/%d", &local);
    // Unless midnight passed between the two readings.
    if (local.tm_hour != 0 || local.tm_min != 0) {
        EXPECT_EQ(std::string(buffer, 10), date);
    }
}

TEST(System, BitHelpers) {
    EXPECT_EQ(SRresetbit(0x0E, 0x02), 0x0C);
    EXPECT_EQ(SRresetbit(0x1234, 0), 0x1234);
    EXPECT_EQ(SRchkbit(0x0C, 0x03), 0);
    EXPECT_NE(SRchkbit(0x0C, 0x06), 0);
    EXPECT_EQ(SRsetbit(0x0C, 0x03), 0x0F);
    EXPECT_EQ(SRsetbit(0, static_cast<int>(0x80000000u)), static_cast<int>(0x80000000u));
}

TEST(System, StringHelpersForward) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(SRstrncpy(buffer, "abcdef", 4), 0);
    EXPECT_EQ(std::string(buffer, 5), "abcd#"); // no terminator when the source is longer
    EXPECT_EQ(SRstrncpy(buffer, "ab", 6), 0);
    EXPECT_EQ(std::memcmp(buffer, "ab\0\0\0\0##", 8), 0);
    EXPECT_EQ(SRstrcpy(buffer, "ab"), 0);
    EXPECT_EQ(SRstrcat(buffer, "cd"), 0);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_LT(SRstrcmp("B", "a"), 0); // plain byte order
    EXPECT_EQ(SRstrncmp("abX", "abY", 2), 0);
    const char* text = "one two";
    EXPECT_EQ(SRstrstr(text, "two"), text + 4);
    EXPECT_EQ(SRstrstr(text, "three"), nullptr);
    EXPECT_EQ(SRmemset(buffer, 'z', 3), 0);
    EXPECT_EQ(SRmemcpy(buffer + 3, "yy", 2), 0);
    EXPECT_EQ(std::string(buffer, 5), "zzzyy");
    EXPECT_GT(SRmemcmp("\xff", "\x01", 1), 0); // unsigned bytes
}

TEST(Screen, TargetsStayWithoutDisplayOrPointer) {
    ScopedEnv noDisplay("DISPLAY", nullptr);
    int width = -7, height = -7;
    EXPECT_EQ(SRGetScreenSize(&width, &height), 0);
    EXPECT_EQ(SRGetWorkAreaSize(&width, &height), 0);
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -7);
    EXPECT_EQ(SRGetScreenSize(&width, nullptr), 0);
    EXPECT_EQ(SRGetWorkAreaSize(nullptr, &height), 0);
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -7);
}

// A virtual X server of a known size for one test; it keeps its state (no reset) when a client
// disconnects, so a property set by one connection is seen by the next.
class VirtualDisplay {
public:
    // Xvfb chooses a free display itself and reports its number on a pipe (-displayfd), so
    // servers of other tests running at the same time are never mistaken for this one.
    VirtualDisplay(int width, int height) {
        if (::access("/usr/bin/Xvfb", X_OK) != 0)
            return;
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        const std::string fd = std::to_string(fds[1]);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            ::execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0",
                    screen.c_str(), "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (c == '\n' && !number.empty())
            m_display = ":" + number;
    }
    ~VirtualDisplay() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    [[nodiscard]] const std::string& name() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// Sets _NET_WORKAREA on the root window as a window manager would.
bool AnnounceWorkArea(long x, long y, long width, long height) {
    void* x11 = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (x11 == nullptr)
        return false;
    using Open = void* (*)(const char*);
    using Root = unsigned long (*)(void*);
    using Intern = unsigned long (*)(void*, const char*, int);
    using Change = int (*)(void*, unsigned long, unsigned long, unsigned long, int, int,
                           const unsigned char*, int);
    using Close = int (*)(void*);
    auto open = reinterpret_cast<Open>(::dlsym(x11, "XOpenDisplay"));
    auto root = reinterpret_cast<Root>(::dlsym(x11, "XDefaultRootWindow"));
    auto intern = reinterpret_cast<Intern>(::dlsym(x11, "XInternAtom"));
    auto change = reinterpret_cast<Change>(::dlsym(x11, "XChangeProperty"));
    auto close = reinterpret_cast<Close>(::dlsym(x11, "XCloseDisplay"));
    void* display = open != nullptr ? open(nullptr) : nullptr;
    if (display == nullptr || !root || !intern || !change || !close)
        return false;
    const long area[4] = {x, y, width, height};
    constexpr unsigned long kCardinal = 6;
    constexpr int kReplace = 0;
    change(display, root(display), intern(display, "_NET_WORKAREA", 0), kCardinal, 32, kReplace,
           reinterpret_cast<const unsigned char*>(area), 4);
    close(display); // flushes the request
    return true;
}

TEST(Screen, SizesFromTheXDisplay) {
    VirtualDisplay server(1234, 567);
    if (server.name().empty())
        GTEST_SKIP() << "no Xvfb to start here";
    ScopedEnv display("DISPLAY", server.name().c_str());
    int width = 0, height = 0;
    EXPECT_EQ(SRGetScreenSize(&width, &height), 0);
    EXPECT_EQ(width, 1234);
    EXPECT_EQ(height, 567);
    // No window manager: the work area is the screen.
    width = height = 0;
    EXPECT_EQ(SRGetWorkAreaSize(&width, &height), 0);
    EXPECT_EQ(width, 1234);
    EXPECT_EQ(height, 567);

    ASSERT_TRUE(AnnounceWorkArea(0, 27, 1234, 500));
    EXPECT_EQ(SRGetWorkAreaSize(&width, &height), 0);
    EXPECT_EQ(width, 1234);
    EXPECT_EQ(height, 500);
    EXPECT_EQ(SRGetScreenSize(&width, &height), 0);
    EXPECT_EQ(height, 567);
}

} // namespace
