#include "platform/Text.h"

namespace platform {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char32_t kReplacement = 0xFFFD;

// Length of the well-formed UTF-8 sequence at s[i] (1..4) with its code point, or 0 when the
// byte does not start one (Unicode's table of well-formed byte sequences).
int DecodeOne(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const std::size_t left = s.size() - i;
    const unsigned char b0 = b(0);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    auto cont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (left < 2 || !cont(b(1)))
            return 0;
        cp = (char32_t(b0 & 0x1F) << 6) | (b(1) & 0x3F);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (left < 3)
            return 0;
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF; // ED A0.. would encode a surrogate
        if (b(1) < lo || b(1) > hi || !cont(b(2)))
            return 0;
        cp = (char32_t(b0 & 0x0F) << 12) | (char32_t(b(1) & 0x3F) << 6) | (b(2) & 0x3F);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (left < 4)
            return 0;
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
        if (b(1) < lo || b(1) > hi || !cont(b(2)) || !cont(b(3)))
            return 0;
        cp = (char32_t(b0 & 0x07) << 18) | (char32_t(b(1) & 0x3F) << 12) |
             (char32_t(b(2) & 0x3F) << 6) | (b(3) & 0x3F);
        return 4;
    }
    return 0;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int n = DecodeOne(bytes, i, cp);
        if (n == 0) {
            out += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += static_cast<std::size_t>(n);
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u - kEscapeBase);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::string Utf16ArrayToUtf8(const char16_t* units, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && units[length] != u'\0')
        ++length;
    return Utf16ToUtf8(std::u16string_view(units, length));
}

std::size_t Utf16Length(const char16_t* text) noexcept {
    if (text == nullptr)
        return 0;
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

} // namespace platform
