#pragma once
// Every export runs its body through Guarded: whatever happens inside, only the export's
// documented result leaves the library, never an exception.
#include <utility>

namespace rundel {

template <typename R, typename F>
R Guarded(R failure, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return failure;
    }
}

template <typename F>
void Guarded(F&& body) noexcept {
    try {
        std::forward<F>(body)();
    } catch (...) {
    }
}

} // namespace rundel
