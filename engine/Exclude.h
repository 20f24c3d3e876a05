#pragma once
// Names and paths a search leaves out, with the meaning du and ncdu give --exclude: a glob
// (fnmatch(3), no flags, so '*' also spans '/') that matches the entry's full path, or the part
// of it after any '/', keeps the entry from being counted or entered.
#include <string>
#include <string_view>
#include <vector>

namespace dvo {

class ExcludeList {
public:
    ExcludeList() = default;
    explicit ExcludeList(std::vector<std::string> patterns);

    [[nodiscard]] bool Empty() const noexcept { return m_patterns.empty(); }
    [[nodiscard]] const std::vector<std::string>& Patterns() const noexcept { return m_patterns; }
    // path: NUL-terminated, the folder searched joined with the names below it.
    [[nodiscard]] bool Matches(const char* path) const noexcept;

private:
    std::vector<std::string> m_patterns;
};

// The patterns of an exclude file (--exclude-from), one a line, as du and ncdu read them: the
// line ending (LF, or CR LF) is not part of the pattern, and an empty line is none.
[[nodiscard]] std::vector<std::string> PatternLines(std::string_view text);

} // namespace dvo
