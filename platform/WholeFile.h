#pragma once
// Writing a file whole or not at all: the bytes go to a new file beside the target, which is
// flushed to the disk and renamed over the target only once complete, so a reader never sees half
// a file and a failed write leaves nothing behind.
#include <functional>
#include <string>

namespace platform {

// `write` fills the descriptor it is given and answers false with errno set when a write fails
// (an exception from it counts as ENOMEM). 0 once the file is in place, else the errno of the
// step that failed; the temporary file is removed then.
[[nodiscard]] int WriteFileWhole(const std::string& path, const std::function<bool(int fd)>& write);

} // namespace platform
