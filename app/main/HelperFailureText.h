#pragma once
// The box's text when a helper (xdg-open, lp) failed on a target, for the help items and the
// grid's shell commands alike.
#include <string>

namespace dvo::app {

// What failed and where, then the helper's own reason (trailing blanks and line ends cut), or
// its exit status when it said nothing.
[[nodiscard]] std::string HelperFailureText(const std::string& action, const std::string& target,
                                            int status, const std::string& errorText);

} // namespace dvo::app
