#pragma once
// Every exported call runs its body through Guarded: whatever is thrown inside (out of memory,
// a container at its limit), only the call's documented result leaves the library.
#include <utility>

namespace platform {

struct NothingToRecord {
    void operator()() const noexcept {}
};

// The body's result, or `failure` once onFailure has run (to keep the reason for a later
// "last error" call, say) when the body throws.
template <typename R, typename F, typename OnFailure = NothingToRecord>
R Guarded(R failure, F&& body, OnFailure&& onFailure = {}) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        try {
            std::forward<OnFailure>(onFailure)();
        } catch (...) {
            // No room even for the reason: the failure value alone tells it.
        }
        return failure;
    }
}

template <typename F> void Guarded(F&& body) noexcept {
    try {
        std::forward<F>(body)();
    } catch (...) {
    }
}

} // namespace platform
