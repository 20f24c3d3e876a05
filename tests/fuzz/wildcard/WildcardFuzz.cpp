// Patterns come from callers of the search calls, names from disk: any pair must be matched
// without a crash or a read outside either text, and, where both are valid UTF-8, with the
// result a plain character-by-character reference gives.
//
// Input: one control byte, then the pattern, a NUL, and the name. Bit 0 of the control byte
// treats the first (control >> 1) bytes of the pattern as the literal part of a family search.
#include "platform/Wildcard.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// Strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
        std::size_t length = 0;
        unsigned low = 0x80, high = 0xBF; // allowed range of the second byte
        const unsigned lead = b(i);
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > s.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned c = b(i + k);
            if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

// The characters of valid UTF-8 text.
std::vector<std::string_view> Characters(std::string_view s) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned lead = static_cast<unsigned char>(s[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        out.push_back(s.substr(i, length));
        i += length;
    }
    return out;
}

// Table over (pattern characters, name characters): '*' any run, '?' one, others themselves.
bool Reference(const std::vector<std::string_view>& pattern,
               const std::vector<std::string_view>& name) {
    const std::size_t P = pattern.size(), N = name.size();
    std::vector<char> table((P + 1) * (N + 1),
                            0); // table[p][n]: pattern from p matches name from n
    const auto at = [&](std::size_t p, std::size_t n) -> char& { return table[p * (N + 1) + n]; };
    at(P, N) = 1;
    for (std::size_t p = P; p-- > 0;) {
        for (std::size_t n = N + 1; n-- > 0;) {
            if (pattern[p] == "*")
                at(p, n) = at(p + 1, n) || (n < N && at(p, n + 1));
            else if (pattern[p] == "?")
                at(p, n) = n < N && at(p + 1, n + 1);
            else
                at(p, n) = n < N && pattern[p] == name[n] && at(p + 1, n + 1);
        }
    }
    return at(0, 0) != 0;
}

bool ReferenceMatch(std::string_view literal, std::string_view pattern, std::string_view name) {
    if (name.empty() || !name.starts_with(literal))
        return false;
    const auto rest = Characters(name.substr(literal.size()));
    if (Reference(Characters(pattern), rest))
        return true;
    return pattern.ends_with(".*") &&
           Reference(Characters(pattern.substr(0, pattern.size() - 2)), rest);
}

// A copy in a heap block of exactly its size, so that ASan sees any read past its end.
std::unique_ptr<char[]> Exact(std::string_view text) {
    auto copy = std::make_unique<char[]>(text.size() + 1);
    if (!text.empty())
        std::memcpy(copy.get(), text.data(), text.size());
    return copy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t nul = input.find('\0');
    std::string_view pattern = input.substr(0, nul);
    const std::string_view name =
        nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
    std::string_view literal;
    if ((data[0] & 1) != 0) {
        literal = pattern.substr(0, std::min<std::size_t>(data[0] >> 1, pattern.size()));
        pattern.remove_prefix(literal.size());
    }

    const auto literalCopy = Exact(literal);
    const auto patternCopy = Exact(pattern);
    const auto nameCopy = Exact(name);
    const std::string_view l(literalCopy.get(), literal.size());
    const std::string_view p(patternCopy.get(), pattern.size());
    const std::string_view n(nameCopy.get(), name.size());
    const bool matched =
        literal.empty() ? platform::MatchesWildcard(p, n) : platform::MatchesWildcard(l, p, n);

    // The reference speaks of characters; it stays small so that each input runs fast.
    if (literal.size() + pattern.size() + name.size() <= 512 && IsValidUtf8(literal) &&
        IsValidUtf8(pattern) && IsValidUtf8(name) && matched != ReferenceMatch(l, p, n))
        std::abort();
    return 0;
}
