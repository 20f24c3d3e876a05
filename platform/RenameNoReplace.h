#pragma once
// Renaming that never replaces an existing name, the way rename() behaves on Windows.

namespace platform {

// Renames (moves) from -> to. Fails with EEXIST when anything exists under `to`. A regular file
// moves to another file system by copy (mode and times kept, synced) and then removal of the
// source; a failed copy leaves the source in place and no partial target. Other kinds of entry
// fail with EXDEV across file systems, as a directory does on Windows.
// 0 on success; -1 with errno set on failure.
int RenameNoReplace(const char* from, const char* to) noexcept;

} // namespace platform
