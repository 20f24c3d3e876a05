#pragma once
// Single-instance guard: an exclusive flock on $XDG_RUNTIME_DIR/<name>.lock (fallback
// /tmp/<name>-<uid>.lock, mode 0600). The descriptor stays open for the life of the process, so
// the lock is released only when the process ends, however it ends.
#include <string>

namespace platform {

enum class InstanceLockResult {
    Taken,          // this process holds the lock now (new, or left behind by a dead process)
    TakenByAnother, // a live process holds it
    Failed,         // the lock file could not be opened
};

[[nodiscard]] InstanceLockResult TakeInstanceLock(const std::string& name);

// The path TakeInstanceLock uses for a name.
[[nodiscard]] std::string InstanceLockPath(const std::string& name);

} // namespace platform
