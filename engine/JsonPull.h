#pragma once
// A JSON reader made for exports of a million entries: it walks a NUL-terminated text held in
// writable memory that its source extends as it goes, unescapes strings where they stand, and
// keeps the nesting on a stack of its own, so any depth is read without recursion. Names are passed on as their bytes (no encoding check):
// a name that is not UTF-8 is still a name. The handler gets rapidjson-style SAX calls and may
// refuse any of them; errors carry the byte offset where reading stopped.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dvo {

// Bytes the text must have readable after its NUL: strings are scanned 16 bytes at a time.
inline constexpr std::size_t kJsonPullSlack = 16;

class JsonPull {
public:
    // Asked for more text at the NUL that ends what is there: appends it in place (the memory
    // never moves), moves `end` to the new NUL and says whether anything came.
    using Refill = std::function<bool(char*& end)>;

    // `text` must hold a NUL at text[size] and kJsonPullSlack readable bytes after every NUL the
    // refill leaves; it is written to while strings are unescaped.
    JsonPull(char* text, std::size_t size, Refill more = {})
        : m_begin(text), m_p(text), m_end(text + size), m_more(std::move(more)) {}

    // Reads one value and checks that nothing but white space follows. False when the text is no
    // JSON (Error() says why) or the handler refused (Error() is null); Offset() tells where.
    template <typename Handler> bool Parse(Handler& h);

    [[nodiscard]] const char* Error() const noexcept { return m_error; }
    [[nodiscard]] std::size_t Offset() const noexcept { return m_offset; }
    // Where reading stands: nothing before it is read or handed out again.
    [[nodiscard]] const char* Position() const noexcept { return m_p; }

private:
    bool Fail(const char* why, const char* at) {
        m_error = why;
        m_offset = static_cast<std::size_t>(at - m_begin);
        return false;
    }
    bool Refused(const char* at) { return Fail(nullptr, at); }

    // The byte at p, after asking for more text where p is the end of what is there: '\0'
    // only at the real end (or a NUL byte in the text).
    char At(const char* p) { return *p != '\0' ? *p : AtNul(p); }
    char AtNul(const char* p) {
        if (p == m_end && m_more) {
            m_more(m_end);
        }
        return *p;
    }

    void SkipSpace() {
        for (;;) {
            // Most tokens follow the one before without space: one comparison tells.
            while (static_cast<unsigned char>(*m_p) <= ' ' &&
                   (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t')) {
                ++m_p;
            }
            if (*m_p != '\0' || At(m_p) == '\0') {
                return;
            }
        }
    }

    // The string whose opening quote m_p is past, unescaped in place: its start and length.
    [[gnu::always_inline]] bool String(char*& out, std::size_t& length);
    [[gnu::cold]] bool StringRest(char* start, char* p, char*& out, std::size_t& length);
    template <typename Handler> bool Number(Handler& h);
    static void EightDigits(char*& p, std::uint64_t& value) noexcept;
    bool Literal(std::string_view word);

    char* m_begin;
    char* m_p;
    char* m_end;
    Refill m_more;
    const char* m_error = nullptr;
    std::size_t m_offset = 0;
};

namespace json_detail {

inline int HexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

inline char* PutUtf8(char* out, std::uint32_t c) noexcept {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

} // namespace json_detail

// Sizes and times have up to 20 digits: read a word at a time where the text holds the whole
// run (the bytes after a NUL are readable), leaving p at the first byte not taken. The caller
// takes what is left digit by digit, where a refill may be needed.
inline void JsonPull::EightDigits(char*& p, std::uint64_t& value) noexcept {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ull;
    for (;;) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, 8);
        const std::uint64_t x = w ^ (kOnes * '0'); // digits become 0-9, all else more
        // A byte is no digit where its high nibble is set, before or after adding 6; carries
        // only reach bytes after the first such one.
        const std::uint64_t bad = (x | (x + kOnes * 6)) & kHighNibbles;
        const int n = bad == 0 ? 8 : __builtin_ctzll(bad) / 8;
        if (n == 0 || (n < 8 && p[n] == '\0')) {
            return; // no digit, or the run may go on after a refill
        }
        // The n digits at the top of the word, then pairs, fours and eights summed in place.
        std::uint64_t v = (x & 0x0F0F0F0F0F0F0F0Full) << (8 * (8 - n));
        v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFull;
        v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFull;
        v = (v * 10000 + (v >> 32)) & 0xFFFFFFFFull;
        static constexpr std::uint64_t kScale[] = {1,      10,      100,      1000,     10000,
                                                   100000, 1000000, 10000000, 100000000};
        value = value * kScale[n] + v;
        p += n;
        if (n < 8) {
            return;
        }
    }
#else
    (void)p;
    (void)value;
#endif
}

inline bool JsonPull::String(char*& out, std::size_t& length) {
    char* const start = m_p;
    // The common case, a name without escapes: found in one pass and left where it is.
    char* p = m_p;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i control = _mm_set1_epi8(0x1F);
    for (;;) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // A control byte is one whose unsigned maximum with 0x1F is 0x1F.
        const __m128i stop =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                         _mm_cmpeq_epi8(_mm_max_epu8(v, control), control));
        if (const int mask = _mm_movemask_epi8(stop); mask != 0) {
            p += __builtin_ctz(static_cast<unsigned>(mask));
            break;
        }
        p += 16;
    }
#else
    for (;;) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\' || c < 0x20) {
            break;
        }
        ++p;
    }
#endif
    if (*p == '"') {
        m_p = p + 1;
        out = start;
        length = static_cast<std::size_t>(p - start);
        return true;
    }
    return StringRest(start, p, out, length);
}

// The rest of a string from its first escape, control byte or refill on.
inline bool JsonPull::StringRest(char* start, char* p, char*& out, std::size_t& length) {
    char* dst = p;
    while (At(p) != '"') {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\\') {
            const char e = At(p + 1);
            std::uint32_t code = 0;
            switch (e) {
            case '"': code = '"'; break;
            case '\\': code = '\\'; break;
            case '/': code = '/'; break;
            case 'b': code = '\b'; break;
            case 'f': code = '\f'; break;
            case 'n': code = '\n'; break;
            case 'r': code = '\r'; break;
            case 't': code = '\t'; break;
            case 'u': {
                auto hex4 = [this](char* at, std::uint32_t& v) {
                    v = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int d = json_detail::HexDigit(At(at + i));
                        if (d < 0) {
                            return Fail("Incorrect hex digit after \\u escape in string.", at + i);
                        }
                        v = v << 4 | static_cast<std::uint32_t>(d);
                    }
                    return true;
                };
                if (!hex4(p + 2, code)) {
                    return false;
                }
                p += 6;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (At(p) != '\\' || At(p + 1) != 'u') {
                        return Fail("The surrogate pair in string is invalid.", p);
                    }
                    if (!hex4(p + 2, low)) {
                        return false;
                    }
                    if (low < 0xDC00 || low > 0xDFFF) {
                        return Fail("The surrogate pair in string is invalid.", p + 2);
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    p += 6;
                }
                dst = json_detail::PutUtf8(dst, code);
                continue;
            }
            default: return Fail("Invalid escape character in string.", p + 1);
            }
            *dst++ = static_cast<char>(code);
            p += 2;
        } else if (c < 0x20) {
            return Fail(c == 0 && p == m_end ? "Missing a closing quotation mark in string."
                                             : "Invalid encoding in string.",
                        p);
        } else {
            *dst++ = *p++;
        }
    }
    m_p = p + 1;
    out = start;
    length = static_cast<std::size_t>(dst - start);
    return true;
}

inline bool JsonPull::Literal(std::string_view word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (At(m_p + i) != word[i]) {
            return Fail("Invalid value.", m_p);
        }
    }
    m_p += word.size();
    return true;
}

template <typename Handler> bool JsonPull::Number(Handler& h) {
    char* const start = m_p;
    char* p = m_p;
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto digit = [&](const char* at) { return isDigit(At(at)); };
    // Runs of digits, asking for more text only where one reaches the end of what is there.
    auto skipDigits = [&](auto&& each) {
        for (;;) {
            while (isDigit(*p)) {
                each(*p);
                ++p;
            }
            if (*p != '\0' || !isDigit(AtNul(p))) {
                return;
            }
        }
    };
    const bool minus = *p == '-';
    if (minus) {
        ++p;
    }
    if (!digit(p)) {
        return Fail("Invalid value.", start);
    }
    std::uint64_t value = 0;
    bool overflow = false;
    if (*p == '0') {
        ++p;
    } else {
        // Up to 19 digits cannot overflow; longer runs are summed again with checks.
        const char* const first = p;
        EightDigits(p, value);
        skipDigits([&](char c) { value = value * 10 + static_cast<std::uint64_t>(c - '0'); });
        if (p - first > 19) {
            value = 0;
            for (const char* d = first; d < p; ++d) {
                overflow = __builtin_mul_overflow(value, 10, &value) || overflow;
                overflow =
                    __builtin_add_overflow(value, static_cast<std::uint64_t>(*d - '0'), &value) ||
                    overflow;
            }
        }
    }
    bool fraction = false;
    if (At(p) == '.') {
        ++p;
        if (!digit(p)) {
            return Fail("Miss fraction part in number.", p);
        }
        skipDigits([](char) {});
        fraction = true;
    }
    if (At(p) == 'e' || *p == 'E') {
        ++p;
        if (At(p) == '+' || *p == '-') {
            ++p;
        }
        if (!digit(p)) {
            return Fail("Miss exponent in number.", p);
        }
        skipDigits([](char) {});
        fraction = true;
    }
    m_p = p;
    bool ok = false;
    // Whole numbers beyond 64 bits are no size or time either: passed on as fractions are.
    constexpr std::uint64_t kMinusLimit = std::uint64_t{1} << 63;
    if (fraction || overflow || (minus && value > kMinusLimit)) {
        ok = h.Double(0.0);
    } else if (minus) {
        ok = h.Int64(value == kMinusLimit ? INT64_MIN : -static_cast<std::int64_t>(value));
    } else {
        ok = h.Uint64(value);
    }
    return ok || Refused(start);
}

template <typename Handler> bool JsonPull::Parse(Handler& h) {
    // What each open container expects next is told by its kind and whether it has a member yet.
    enum : std::uint8_t { kArray, kObject };
    std::vector<std::uint8_t> open;
    open.reserve(64);
    SkipSpace();
    if (*m_p == '\0' && m_p == m_end) {
        return Fail("The document is empty.", m_p);
    }
    bool first = true; // no member in the innermost container yet
    for (;;) {
        // A value, or the end of the container it would have stood in.
        SkipSpace();
        bool closeNow = false;
        if (!open.empty()) {
            if (open.back() == kObject) {
                if (first && *m_p == '}') {
                    closeNow = true;
                } else {
                    if (*m_p != '"') {
                        return Fail("Missing a name for object member.", m_p);
                    }
                    ++m_p;
                    char* key = nullptr;
                    std::size_t length = 0;
                    if (!String(key, length)) {
                        return false;
                    }
                    if (!h.Key(key, static_cast<unsigned>(length), false)) {
                        return Refused(m_p);
                    }
                    SkipSpace();
                    if (*m_p != ':') {
                        return Fail("Missing a colon after a name of object member.", m_p);
                    }
                    ++m_p;
                    SkipSpace();
                }
            } else {
                closeNow = first && *m_p == ']';
            }
        }
        if (!closeNow) {
            switch (*m_p) {
            case '[':
            case '{': {
                const bool array = *m_p == '[';
                if (!(array ? h.StartArray() : h.StartObject())) {
                    return Refused(m_p);
                }
                ++m_p;
                open.push_back(array ? kArray : kObject);
                first = true;
                continue;
            }
            case '"': {
                ++m_p;
                char* s = nullptr;
                std::size_t length = 0;
                if (!String(s, length)) {
                    return false;
                }
                if (!h.String(s, static_cast<unsigned>(length), false)) {
                    return Refused(m_p);
                }
                break;
            }
            case 't':
            case 'f':
            case 'n': {
                const char c = *m_p;
                if (!Literal(c == 't' ? "true" : c == 'f' ? "false" : "null")) {
                    return false;
                }
                if (!(c == 'n' ? h.Null() : h.Bool(c == 't'))) {
                    return Refused(m_p);
                }
                break;
            }
            default:
                if (!Number(h)) {
                    return false;
                }
                break;
            }
        }
        // After a member (or at the end of an empty container): a comma, or the end of one or
        // more containers.
        for (;;) {
            if (!closeNow) {
                SkipSpace();
                if (open.empty()) {
                    if (*m_p != '\0' || m_p != m_end) {
                        return Fail("The document root must not be followed by other values.", m_p);
                    }
                    return true;
                }
                if (*m_p == ',') {
                    ++m_p;
                    first = false;
                    break;
                }
                if (*m_p != (open.back() == kArray ? ']' : '}')) {
                    return Fail(open.back() == kArray
                                    ? "Missing a comma or ']' after an array element."
                                    : "Missing a comma or '}' after an object member.",
                                m_p);
                }
            }
            closeNow = false;
            if (!(open.back() == kArray ? h.EndArray(0) : h.EndObject(0))) {
                return Refused(m_p);
            }
            ++m_p;
            open.pop_back();
        }
    }
}

} // namespace dvo
