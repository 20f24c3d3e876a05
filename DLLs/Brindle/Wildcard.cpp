// Greedy matching with one back-up point: the last '*' seen takes one more byte on a mismatch.
// That is enough for patterns of '*' and '?' and keeps the work at O(pattern x name).
#include "DLLs/Brindle/Wildcard.h"

namespace brindle {

bool WildcardMatch(std::string_view pattern, std::string_view name) noexcept {
    if (pattern == "*.*")
        return true;
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace brindle
