#include "engine/UringStat.h"

#include <cerrno>
#include <liburing.h>
#include <new>

#include "engine/FaultInjection.h"

namespace dvo {

UringStat::UringStat() = default;

UringStat::~UringStat() { Stop(); }

bool UringStat::Start(unsigned depth) noexcept {
    if (m_ring != nullptr) {
        return m_ready;
    }
    if (depth == 0 || faults::RingSetupFails()) {
        return false;
    }
    m_ring.reset(new (std::nothrow) io_uring{});
    m_buffers.reset(new (std::nothrow) struct statx[depth]);
    m_free.reset(new (std::nothrow) unsigned[2 * depth]); // free slots, then each slot's request
    if (m_ring == nullptr || m_buffers == nullptr || m_free == nullptr) {
        m_ring.reset();
        return false;
    }
    // One thread submits and reaps, so the kernel may skip the locking and wake-ups meant for
    // others; kernels before 6.0 refuse these flags and get a plain ring.
    io_uring_params params = {};
    params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN;
    int rc = io_uring_queue_init_params(depth, m_ring.get(), &params);
    if (rc == -EINVAL) {
        params = {};
        rc = io_uring_queue_init_params(depth, m_ring.get(), &params);
    }
    if (rc < 0) {
        m_ring.reset();
        return false;
    }
    io_uring_probe* probe = io_uring_get_probe_ring(m_ring.get());
    const bool statx = probe != nullptr && io_uring_opcode_supported(probe, IORING_OP_STATX);
    if (probe != nullptr) {
        io_uring_free_probe(probe);
    }
    if (!statx) {
        io_uring_queue_exit(m_ring.get());
        m_ring.reset();
        return false;
    }
    m_depth = depth;
    for (unsigned i = 0; i < depth; ++i) {
        m_free[i] = i;
    }
    m_freeCount = depth;
    m_ready = true;
    return true;
}

void UringStat::Stop() noexcept {
    if (m_ring == nullptr) {
        return;
    }
    if (m_leaked) {
        // The kernel may still write answers into the buffers: they outlive the ring.
        static_cast<void>(m_buffers.release());
    }
    io_uring_queue_exit(m_ring.get());
    m_ready = false;
}

namespace {

// Hands every answer waiting in the completion queue to the sink and frees its slot.
unsigned Reap(io_uring* ring, struct statx* buffers, unsigned* slots, unsigned depth,
              unsigned& freeCount, StatSink* sink) noexcept {
    unsigned head = 0;
    unsigned seen = 0;
    io_uring_cqe* cqe = nullptr;
    io_uring_for_each_cqe(ring, head, cqe) {
        const auto slot = static_cast<unsigned>(io_uring_cqe_get_data64(cqe));
        if (sink != nullptr) {
            sink->Done(slots[depth + slot], cqe->res < 0 ? -cqe->res : 0, buffers[slot]);
        }
        slots[freeCount++] = slot;
        ++seen;
    }
    io_uring_cq_advance(ring, seen);
    return seen;
}

} // namespace

bool UringStat::Drain(StatSink* sink) noexcept {
    while (m_inFlight > 0) {
        io_uring_cqe* cqe = nullptr;
        const int rc = io_uring_wait_cqe(m_ring.get(), &cqe);
        if (rc == -EINTR) {
            continue;
        }
        if (rc < 0) {
            m_leaked = true;
            return false;
        }
        m_inFlight -= Reap(m_ring.get(), m_buffers.get(), m_free.get(), m_depth, m_freeCount, sink);
    }
    return true;
}

bool UringStat::Stat(int dirFd, int flags, unsigned mask, std::size_t count, StatSink& sink) {
    if (!m_ready) {
        return false;
    }
    io_uring* ring = m_ring.get();
    std::size_t next = 0;
    unsigned queued = 0; // prepared, not yet taken by the kernel
    for (;;) {
        while (next < count && m_freeCount > 0 && !sink.Stop()) {
            io_uring_sqe* sqe = io_uring_get_sqe(ring);
            if (sqe == nullptr) {
                break;
            }
            const unsigned slot = m_free[--m_freeCount];
            m_free[m_depth + slot] = static_cast<unsigned>(next);
            io_uring_prep_statx(sqe, dirFd, sink.Name(next), flags, mask, &m_buffers[slot]);
            io_uring_sqe_set_data64(sqe, slot);
            ++next;
            ++queued;
        }
        if (queued == 0 && m_inFlight == 0) {
            return true;
        }
        const int rc = io_uring_submit_and_wait(ring, 1);
        if (rc < 0 && rc != -EINTR) {
            // The prepared requests never reach the kernel; those sent are still answered.
            m_ready = false;
            Drain(&sink);
            return false;
        }
        if (rc > 0) {
            queued -= static_cast<unsigned>(rc);
            m_inFlight += static_cast<unsigned>(rc);
        }
        m_inFlight -= Reap(ring, m_buffers.get(), m_free.get(), m_depth, m_freeCount, &sink);
    }
}

} // namespace dvo
