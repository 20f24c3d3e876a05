#pragma once
// Many statx calls in flight from one thread through an io_uring: a folder's entries are statted
// relative to its descriptor without one system call each. Where the kernel refuses a ring
// (io_uring_disabled, a seccomp filter, a kernel without IORING_OP_STATX) Start says so and the
// caller stats entry by entry as before.
#include <cstddef>
#include <memory>
#include <sys/stat.h>

struct io_uring;

namespace dvo {

// What a batch of stats reads its names from and hands its answers to.
class StatSink {
public:
    virtual ~StatSink() = default;
    // The NUL-terminated name of request i; it stays valid until Done(i) is called.
    [[nodiscard]] virtual const char* Name(std::size_t i) const noexcept = 0;
    // Request i finished: error 0 and its attributes, or the errno it failed with.
    virtual void Done(std::size_t i, int error, const struct statx& st) noexcept = 0;
    // True when no further request should be sent (those in flight are still answered).
    [[nodiscard]] virtual bool Stop() const noexcept = 0;
};

class UringStat {
public:
    UringStat();
    ~UringStat();
    UringStat(const UringStat&) = delete;
    UringStat& operator=(const UringStat&) = delete;

    // Sets up a ring keeping up to `depth` requests in flight; false when it cannot be had. Call
    // from the thread that will use it.
    [[nodiscard]] bool Start(unsigned depth) noexcept;
    [[nodiscard]] bool Ready() const noexcept { return m_ready; }

    // Stats requests 0..count-1 relative to dirFd, calling sink.Done for each that was sent, in
    // any order. Returns false when the ring failed on the way (it is then no longer Ready, and
    // the requests without an answer are left to the caller); true otherwise, also when
    // sink.Stop ended it early.
    bool Stat(int dirFd, int flags, unsigned mask, std::size_t count, StatSink& sink);

private:
    void Stop() noexcept;
    // Waits for every request sent; false when even that fails (the ring is then kept, unused,
    // with its buffers, until this object goes).
    bool Drain(StatSink* sink) noexcept;

    std::unique_ptr<io_uring> m_ring;
    std::unique_ptr<struct statx[]> m_buffers; // one per request in flight
    std::unique_ptr<unsigned[]> m_free;        // free slots, then the request of each slot
    unsigned m_depth = 0;
    unsigned m_freeCount = 0;
    unsigned m_inFlight = 0;
    bool m_ready = false;
    bool m_leaked = false; // a request may still write its buffer: keep the memory
};

} // namespace dvo
