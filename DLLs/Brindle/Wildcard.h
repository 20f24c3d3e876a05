#pragma once
// The wildcard test of the folder search: bytes, not characters.
#include <string_view>

namespace brindle {

// True when name matches pattern: '*' matches any run of bytes (none included), '?' exactly one
// byte, every other byte only itself. "*.*" matches every name, as the platform search has it.
[[nodiscard]] bool WildcardMatch(std::string_view pattern, std::string_view name) noexcept;

} // namespace brindle
