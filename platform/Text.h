#pragma once
// Lossless conversion between the byte text of file names and messages (UTF-8) and the UTF-16
// text of the engine interface.
//
// Bytes -> UTF-16: well-formed UTF-8 sequences become their code points; every byte that is not
// part of a well-formed sequence (stray continuation bytes, truncated or overlong sequences,
// encoded surrogates, values above U+10FFFF) becomes the lone surrogate U+DC00 + byte, which is
// U+DC80..U+DCFF because such bytes are always >= 0x80.
//
// UTF-16 -> bytes: U+DC80..U+DCFF standing alone become the byte they carry, so any byte string
// survives the round trip. Any other lone surrogate (a high surrogate without its low half, or a
// low surrogate outside U+DC80..U+DCFF) does not encode a byte and becomes U+FFFD (EF BF BD).
#include <string>
#include <string_view>

namespace platform {

[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view bytes);
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view text);

// A fixed-size UTF-16 array as bytes: up to its first NUL, at most `capacity` units.
[[nodiscard]] std::string Utf16ArrayToUtf8(const char16_t* units, std::size_t capacity);

// Length of a NUL-terminated UTF-16 text; 0 for null.
[[nodiscard]] std::size_t Utf16Length(const char16_t* text) noexcept;

} // namespace platform
