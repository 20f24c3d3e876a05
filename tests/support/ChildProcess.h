#pragma once
// Waiting for a forked child in a test without ever hanging the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>

namespace dvo::test {

// Calls work(0), work(1), ... on another thread until Stop or destruction: keeps a lock of the
// code under test taken now and then while the test forks.
class BusyThread {
public:
    explicit BusyThread(std::function<void(int)> work)
        : m_thread([this, work = std::move(work)] {
              for (int n = 0; !m_stop; ++n)
                  work(n);
          }) {}
    ~BusyThread() { Stop(); }
    BusyThread(const BusyThread&) = delete;
    BusyThread& operator=(const BusyThread&) = delete;
    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Waits for the child to end with status 0; one still running after `seconds` is killed, so a
// child that hangs fails the test instead of stopping it.
inline ::testing::AssertionResult EndsInTime(pid_t pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "the child ended with status " << status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return ::testing::AssertionFailure() << "the child still ran after " << seconds << " s";
}

} // namespace dvo::test
