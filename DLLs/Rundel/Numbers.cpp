// Numbers to and from fixed-width fields, zero suppression and packed decimal digits.
#include "DLLs/Rundel/Rundel.h"
#include "platform/Guard.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Digit value for Dec (base 10) or Hex (base 16); -1 for any other byte.
int DigitValue(unsigned char c, int base) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Unsigned arithmetic: the 32-bit value wraps on overflow instead of being undefined.
int ParseField(const char* text, int count, int base) {
    if (text == nullptr || count <= 0)
        return 0;
    int i = 0;
    while (i < count && text[i] == ' ')
        ++i;
    std::uint32_t value = 0;
    for (; i < count; ++i) {
        const int digit = DigitValue(static_cast<unsigned char>(text[i]), base);
        if (digit < 0)
            break;
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    return static_cast<int>(value);
}

void WriteHex(std::uint32_t value, int digits, char* field) {
    if (field == nullptr)
        return;
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        field[i] = kHexDigits[value & 0xF];
}

// Packed digits keep 0 for "no digit", so the digit 0 is stored as 10.
unsigned char PackDigit(char c) {
    if (c >= '1' && c <= '9')
        return static_cast<unsigned char>(c - '0');
    return c == '0' ? 10 : 0;
}

void Unpack(const unsigned char* packed, char* text, int count, char filler) {
    if (packed == nullptr || text == nullptr)
        return;
    for (int i = 0; i < count; ++i) {
        const unsigned char byte = packed[i / 2];
        const int half = (i % 2 == 0) ? byte >> 4 : byte & 0xF;
        text[i] = half == 0 ? filler : static_cast<char>('0' + half % 10);
    }
}

} // namespace

extern "C" {

int VerString(void) { return 20040329; }

void LStr(int value, int width, char* field) {
    platform::Guarded([&] {
        if (field == nullptr)
            return;
        // The magnitude in unsigned arithmetic, so INT_MIN has one too.
        std::uint32_t v =
            value < 0 ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
        for (int i = width - 1; i >= 0; --i, v /= 10)
            field[i] = static_cast<char>('0' + v % 10);
    });
}

void ByteHex(int value, char* field) {
    platform::Guarded([&] { WriteHex(static_cast<std::uint32_t>(value) & 0xFFU, 2, field); });
}
void WordHex(int value, char* field) {
    platform::Guarded([&] { WriteHex(static_cast<std::uint32_t>(value) & 0xFFFFU, 4, field); });
}
void LongHex(int value, char* field) {
    platform::Guarded([&] { WriteHex(static_cast<std::uint32_t>(value), 8, field); });
}

int Dec(const char* text, int count) {
    return platform::Guarded(0, [&] { return ParseField(text, count, 10); });
}
int Hex(const char* text, int count) {
    return platform::Guarded(0, [&] { return ParseField(text, count, 16); });
}

int PasInt(const char* s) {
    return platform::Guarded(0, [&] {
        if (s == nullptr)
            return 0;
        const std::size_t length = std::strlen(s);
        return ParseField(s, length > INT_MAX ? INT_MAX : static_cast<int>(length), 10);
    });
}

void ZSupr(int count, char* field) {
    platform::Guarded([&] {
        if (field == nullptr)
            return;
        for (int i = 0; i < count && field[i] == '0'; ++i)
            field[i] = ' ';
    });
}

void Zero2Space(const char* source, char* target, int count) {
    platform::Guarded([&] {
        if (source == nullptr || target == nullptr)
            return;
        for (int i = 0; i < count; ++i)
            target[i] = source[i] == '\0' ? ' ' : source[i];
    });
}

void Space2Zero(const char* source, char* target, int count) {
    platform::Guarded([&] {
        if (source == nullptr || target == nullptr)
            return;
        for (int i = 0; i < count; ++i)
            target[i] = source[i] == ' ' ? '\0' : source[i];
    });
}

void Str2BCD(const char* digits, unsigned char* packed, int count) {
    platform::Guarded([&] {
        if (digits == nullptr || packed == nullptr)
            return;
        for (int i = 0; i < count; ++i) {
            const unsigned char value = PackDigit(digits[i]);
            if (i % 2 == 0)
                packed[i / 2] = static_cast<unsigned char>(value << 4);
            else
                packed[i / 2] = static_cast<unsigned char>(packed[i / 2] | value);
        }
    });
}

void BCD2Str(const unsigned char* packed, char* text, int count) {
    platform::Guarded([&] { Unpack(packed, text, count, '\0'); });
}
void BCD2Str2(const unsigned char* packed, char* text, int count) {
    platform::Guarded([&] { Unpack(packed, text, count, ' '); });
}

} // extern "C"
