#include "DLLs/common/TraceLine.h"

#include "platform/Clock.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace common {

void TraceLine(const char* message) noexcept {
    try {
        const platform::LocalTime now = platform::LocalNow();
        const std::string stamp = platform::FormatCtime(now);
        char line[1024];
        const int length = std::snprintf(
            line, sizeof line, "%s %.19s.%.3hu %.4s :: %s\n", "CMNFNC", stamp.c_str(),
            static_cast<unsigned short>(now.millisecond),
            stamp.size() > 20 ? stamp.c_str() + 20 : "", message != nullptr ? message : "");
        if (length < 0)
            return;
        // A cut line still ends its line.
        std::size_t size = std::min(static_cast<std::size_t>(length), sizeof line - 1);
        if (static_cast<std::size_t>(length) > size)
            line[size - 1] = '\n';
        platform::DebugOutput(std::string_view(line, size));
    } catch (...) {
    }
}

} // namespace common
