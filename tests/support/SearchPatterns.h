#pragma once
// The folder the libraries' name searches are tried on, and what each pattern must find there:
// '?' is one character (not one byte) and a trailing ".*" also takes the name without extension.
#include <set>
#include <string>
#include <vector>

namespace dvo::test {

inline constexpr const char* kSearchSampleNames[] = {"日.txt", "ab.txt", "report", "report.csv",
                                                     "reports"};

struct SearchPatternCase {
    const char* pattern;
    std::set<std::string> names;
};

inline const std::vector<SearchPatternCase>& SearchPatternCases() {
    static const std::vector<SearchPatternCase> cases = {
        {"?.txt", {"日.txt"}},
        {"report.*", {"report", "report.csv"}},
    };
    return cases;
}

} // namespace dvo::test
