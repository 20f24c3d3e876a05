#pragma once
// Lets a test's busy thread rest while another thread forks, where the build needs it.
// GCC 12's AddressSanitizer takes no lock of its allocator around fork(): a child forked while
// another thread is inside the allocator can wait for that lock for ever. Under it the busy
// thread rests during the fork; the ordinary build forks amid its work, which is what the
// libraries' fork handlers are for.
#include <atomic>
#include <chrono>
#include <thread>

namespace dvo::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kRestAroundFork = true;
#else
inline constexpr bool kRestAroundFork = false;
#endif

class ForkPause {
public:
    // The busy thread calls this between two of its calls into the library.
    void Checkpoint() {
        while (m_wanted.load(std::memory_order_acquire)) {
            m_resting.store(true, std::memory_order_release);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_resting.store(false, std::memory_order_release);
    }
    // The forking thread, right before and after fork() (After in the parent only).
    void Before() {
        if (!kRestAroundFork)
            return;
        m_wanted.store(true, std::memory_order_release);
        while (!m_resting.load(std::memory_order_acquire))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void After() { m_wanted.store(false, std::memory_order_release); }

private:
    std::atomic<bool> m_wanted{false};
    std::atomic<bool> m_resting{false};
};

} // namespace dvo::test
