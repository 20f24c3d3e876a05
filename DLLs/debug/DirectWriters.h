#pragma once
// The error line of the direct writers, for the library's own reports (a failed record write,
// a supervisor thread that could not be started).
#include <string_view>

namespace dbg {

// Appends the error line of code with an already formatted text, naming reasonErrno's reason
// for the codes -1 to -5. indented selects the labels of Error2. Result as Error's.
int WriteErrorLine(int code, bool indented, int reasonErrno, std::string_view text);

// Around fork(): the forking thread takes every lock of the direct writers and releases them
// again in the parent and in the child, so the child finds none held by a thread it lacks.
void LockDirectWritersForFork();
void UnlockDirectWritersAfterFork();

} // namespace dbg
