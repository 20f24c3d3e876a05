#pragma once
// The user's locale: the Windows language identifier of the environment's locale, and the
// collation order of LC_COLLATE for name comparisons in libraries.
#include <string>
#include <string_view>

namespace platform {

// Language identifier (ja_JP -> 0x0411, en_US -> 0x0409, ...) of the first set variable among
// LC_ALL, LC_MESSAGES and LANG. A territory missing from the table falls back to the language's
// main territory (ja -> 0x0411); "C", "POSIX", an unset locale or an unknown language give en_US
// (0x0409), the answer of a system without a user locale.
[[nodiscard]] unsigned LanguageIdFromEnvironment();

// Same mapping for one locale name such as "ja_JP.UTF-8" or "de_DE@euro".
[[nodiscard]] unsigned LanguageIdForLocale(std::string_view locale);

// strcoll order of the environment's LC_COLLATE (read once, without touching the process
// locale): <0, 0 or >0. Texts are UTF-8 bytes.
[[nodiscard]] int CollateCompare(std::string_view a, std::string_view b);
// The same for NUL-terminated texts, without copying them (sorting large trees).
[[nodiscard]] int CollateCompare(const char* a, const char* b);

} // namespace platform
