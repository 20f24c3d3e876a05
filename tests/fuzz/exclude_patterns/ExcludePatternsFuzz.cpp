// Exclude files come from users and patterns meet names from disk: any file must split into
// patterns without a crash, each pattern a whole line without its ending, and matching them
// against any path must stay inside both texts.
//
// Input: the exclude file, a NUL, then a path to match.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/Exclude.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view file = input.substr(0, nul);
    const std::string path(nul == std::string_view::npos ? std::string_view()
                                                         : input.substr(nul + 1));

    const auto patterns = dvo::PatternLines(file);
    std::size_t bytes = 0;
    for (const std::string& p : patterns) {
        if (p.empty() || p.find('\n') != std::string::npos || p.ends_with('\r') ||
            file.find(p) == std::string_view::npos) {
            std::abort();
        }
        bytes += p.size();
    }
    if (bytes > file.size()) {
        std::abort();
    }
    // Paths hold no NUL: the part up to the first one is what a search would match.
    const dvo::ExcludeList list(patterns);
    static_cast<void>(list.Matches(path.c_str()));
    return 0;
}
