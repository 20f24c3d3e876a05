#include "platform/Wildcard.h"

namespace platform {
namespace {

// Length of the well-formed UTF-8 sequence at the front of s, or 1 for a byte that does not
// start one, so that '?' stands for one character of a Japanese name.
std::size_t CharacterLength(std::string_view s) noexcept {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned lead = b(0);
    if (lead >= 0xC2 && lead <= 0xDF && cont(1))
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF && cont(1) && cont(2)) {
        if ((lead == 0xE0 && b(1) < 0xA0) || (lead == 0xED && b(1) > 0x9F))
            return 1; // overlong form or encoded surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        if ((lead == 0xF0 && b(1) < 0x90) || (lead == 0xF4 && b(1) > 0x8F))
            return 1;
        return 4;
    }
    return 1;
}

// Iterative glob with one backtrack point for the last '*': O(pattern x name) at worst, never
// recursive, so a hostile pattern of many stars cannot exhaust the stack. A star grows by whole
// characters, so that "*??" needs two characters after it, not two bytes of one.
bool Glob(std::string_view pattern, std::string_view name) noexcept {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharacterLength(name.substr(n));
            continue;
        }
        if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
            continue;
        }
        if (starP == std::string_view::npos)
            return false;
        // Let the last star take one more character and try again from there.
        p = starP;
        starN += CharacterLength(name.substr(starN));
        n = starN;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) noexcept {
    return MatchesWildcard({}, pattern, name);
}

bool MatchesWildcard(std::string_view literal, std::string_view pattern,
                     std::string_view name) noexcept {
    // No entry has an empty name; without this, ".*" would match one.
    if (name.empty() || !name.starts_with(literal))
        return false;
    const std::string_view rest = name.substr(literal.size());
    if (Glob(pattern, rest))
        return true;
    return pattern.ends_with(".*") && Glob(pattern.substr(0, pattern.size() - 2), rest);
}

} // namespace platform
