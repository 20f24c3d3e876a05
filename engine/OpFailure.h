#pragma once
// Engine-internal: how the file operations word a failure, "action: path: reason", and the two
// small text helpers they share.
#include "engine/FileOperations.h"
#include "platform/FileCopy.h"

#include <string>

namespace dvo {

// Decimal text of a number. Not std::to_string: its libstdc++ helper templates would be
// exported from the shared library with default visibility.
[[nodiscard]] std::string Decimal(long long value);

[[nodiscard]] std::string JoinPath(const std::string& dir, const std::string& name);

[[nodiscard]] OpResult Failure(int code, const std::string& action, const std::string& path,
                               const std::string& reason);

// A failure of the platform's tree operations, told with the path of the entry that failed
// (relative to `directory`); the code follows the errno `result` unless the kind says more.
[[nodiscard]] OpResult FromFileOp(const std::string& action, const std::string& directory,
                                  const platform::FileOpError& error, int result);

} // namespace dvo
