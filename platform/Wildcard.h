#pragma once
// The one wildcard matcher of the libraries' directory searches (FindFirstFileA on the system
// the interfaces come from), shared so that every search call finds the same names.
//
// Only '*' (any run of characters, also none) and '?' (one character: a well-formed UTF-8
// sequence, or else one byte) are wildcards; every other byte, '[', ']' and '\\' included,
// matches itself. Names compare as bytes, case-sensitively. As on that system, a pattern ending
// in ".*" also matches the names its part before ".*" matches ("report.*" matches "report",
// "*.*" matches every name). An empty pattern or an empty name matches nothing.
#include <string_view>

namespace platform {

[[nodiscard]] bool MatchesWildcard(std::string_view pattern, std::string_view name) noexcept;

// True when name is `literal` byte for byte, followed by a rest that `pattern` matches (with the
// trailing ".*" rule above: "report" + ".*" matches "report" and "report.csv"). For searches
// built from a real file name: its '*' and '?' are bytes of that name, never wildcards.
[[nodiscard]] bool MatchesWildcard(std::string_view literal, std::string_view pattern,
                                   std::string_view name) noexcept;

} // namespace platform
