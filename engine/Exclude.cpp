#include "engine/Exclude.h"

#include <fnmatch.h>
#include <utility>

namespace dvo {

ExcludeList::ExcludeList(std::vector<std::string> patterns) {
    for (std::string& p : patterns) {
        if (!p.empty()) { // matches nothing: fnmatch("") only matches an empty path
            m_patterns.push_back(std::move(p));
        }
    }
}

bool ExcludeList::Matches(const char* path) const noexcept {
    for (const std::string& pattern : m_patterns) {
        if (::fnmatch(pattern.c_str(), path, 0) == 0) {
            return true;
        }
        for (const char* c = path; *c != '\0'; ++c) {
            if (*c == '/' && c[1] != '/' && c[1] != '\0' &&
                ::fnmatch(pattern.c_str(), c + 1, 0) == 0) {
                return true;
            }
        }
    }
    return false;
}

std::vector<std::string> PatternLines(std::string_view text) {
    std::vector<std::string> patterns;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            patterns.emplace_back(line);
        }
    }
    return patterns;
}

} // namespace dvo
