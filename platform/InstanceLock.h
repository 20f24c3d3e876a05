#pragma once
// Single-instance guard: an exclusive flock on $XDG_RUNTIME_DIR/<name>.lock. Without a runtime
// folder, on $XDG_DATA_HOME/<name>.lock (only this user reaches it) and on /tmp/<name>-<uid>.lock
// when that file is this user's own with mode 0600 (a file another user put there is left aside:
// it can neither keep the program from starting nor let a second one start). Lock files are
// opened without following links. The descriptor stays open for the life of the process, so
// the lock is released only when the process ends, however it ends.
#include <string>

namespace platform {

enum class InstanceLockResult {
    Taken,          // this process holds the lock now (new, or left behind by a dead process)
    TakenByAnother, // a live process holds it
    Failed,         // the lock file could not be opened
};

[[nodiscard]] InstanceLockResult TakeInstanceLock(const std::string& name);

// The path TakeInstanceLock uses for a name: in the runtime folder, or the /tmp fallback.
[[nodiscard]] std::string InstanceLockPath(const std::string& name);
// The lock in the user's data folder that counts when there is no runtime folder ("" without
// a data folder).
[[nodiscard]] std::string PrivateInstanceLockPath(const std::string& name);

// Where the instance holding the lock answers later starts: a local socket beside the lock in
// the runtime folder, or in the user's data folder without one (both reached only by this
// user). "" when neither exists or the path would not fit a socket address.
[[nodiscard]] std::string InstanceSocketPath(const std::string& name);

} // namespace platform
