#pragma once
// Helper programs (xdg-open, lp) started without a shell and without waiting for them, and how
// they ended, told from a thread of their own.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// How a helper ended: its exit status (128 + the signal when a signal ended it; 0 when it was
// reaped elsewhere and nothing is known) and the start of what it wrote to its standard error
// (at most kHelperErrorBytes, cut where a UTF-8 character begins).
struct HelperExit {
    int status = 0;
    std::string errorText;
};
inline constexpr std::size_t kHelperErrorBytes = 4096;
using HelperDone = std::function<void(const HelperExit&)>;

// Raises the soft limit of open descriptors to the hard one (a deep tree is read with a
// descriptor per level). Helpers started later still get the limit the process started with.
void RaiseDescriptorLimit() noexcept;

// The program's path found on PATH (an executable regular file), or empty.
[[nodiscard]] std::string FindProgram(const std::string& name);

// Starts args[0], found on PATH, with args as its arguments: no shell between, standard input
// /dev/null, a session of its own, default signal handling, the descriptor limit the process
// started with. Returns 0 or the errno that kept it
// from starting (ENOENT when it is not installed). A detached thread reaps it. With `done` its
// standard error goes to a pipe that thread reads, and `done` is called on that thread once the
// helper has exited, only when 0 was returned (on this thread, after waiting for the helper,
// when no thread can be had). A program the helper leaves running (a viewer)
// may hold the pipe long after: it is drained and dropped until that program closes it, so it
// never writes into a closed pipe while we run.
[[nodiscard]] int StartHelper(const std::vector<std::string>& args, const HelperDone& done = {});

} // namespace platform
