#pragma once
// The debugger output of the libraries. The sink is chosen by LUMETRA_DEBUG_OUTPUT:
// a file path (appended, one write per message), "-" for standard error, unset for syslog at
// LOG_DEBUG (journalctl shows it).
#include <string_view>

namespace platform {

void DebugOutput(std::string_view text) noexcept;

} // namespace platform
