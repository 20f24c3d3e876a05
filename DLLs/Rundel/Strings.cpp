// Bounded copies, a simple wildcard test and searching a block for a key.
#include "DLLs/Rundel/Rundel.h"
#include "platform/Guard.h"

#include <climits>
#include <cstring>

namespace {

// strncpy without its compiler warnings: n bytes of dst, the part after a zero byte of src
// zero-filled.
void CopyPadded(char* dst, const char* src, std::size_t n) {
    std::size_t i = 0;
    for (; i < n && src[i] != '\0'; ++i)
        dst[i] = src[i];
    for (; i < n; ++i)
        dst[i] = '\0';
}

void FillBlanks(char* field, int width) {
    if (width > 0)
        std::memset(field, ' ', static_cast<std::size_t>(width));
}

// The first offset (a multiple of step) at or after which the key occurs in data; -1 for none.
int Find(const char* data, const char* key, int length, char** position, std::size_t step) {
    if (position != nullptr)
        *position = nullptr;
    if (key == nullptr)
        return 0;
    const std::size_t n = std::strlen(key);
    if (n == 0) {
        if (position != nullptr)
            *position = const_cast<char*>(data);
        return 1;
    }
    if (data == nullptr || length < 0 || static_cast<std::size_t>(length) < n)
        return 0;
    const std::size_t size = static_cast<std::size_t>(length);
    for (std::size_t offset = 0; offset + n <= size;) {
        const void* hit = ::memmem(data + offset, size - offset, key, n);
        if (hit == nullptr)
            return 0;
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (at % step == 0) {
            if (position != nullptr)
                *position = const_cast<char*>(data + at + n);
            return 1;
        }
        offset = at + (step - at % step); // the next allowed offset after the hit
    }
    return 0;
}

// A null field is left alone and a null text blanks the field: true when either settled it.
bool SettledWithoutText(char* field, const char* lengthPrefixed, int width) {
    if (field == nullptr)
        return true;
    if (lengthPrefixed == nullptr) {
        FillBlanks(field, width);
        return true;
    }
    return false;
}

} // namespace

extern "C" {

int StrLength(const char* s) {
    return platform::Guarded(0, [&] {
        if (s == nullptr)
            return 0;
        const std::size_t length = std::strlen(s);
        return length > INT_MAX ? INT_MAX : static_cast<int>(length);
    });
}

void CCopy(char* field, const char* lengthPrefixed, int width) {
    platform::Guarded([&] {
        if (SettledWithoutText(field, lengthPrefixed, width))
            return;
        const int n = static_cast<unsigned char>(lengthPrefixed[0]);
        const int copied = n < width ? n : width;
        if (copied > 0)
            CopyPadded(field, lengthPrefixed + 1, static_cast<std::size_t>(copied));
    });
}

void NCopy(char* field, const char* lengthPrefixed, int width) {
    platform::Guarded([&] {
        if (SettledWithoutText(field, lengthPrefixed, width))
            return;
        if (width <= 0)
            return;
        const int n = static_cast<unsigned char>(lengthPrefixed[0]);
        if (n <= width)
            CopyPadded(field + (width - n), lengthPrefixed + 1, static_cast<std::size_t>(n));
        else
            CopyPadded(field, lengthPrefixed + 1, static_cast<std::size_t>(width));
    });
}

int StrMatch(const char* text, const char* pattern, int count) {
    return platform::Guarded(0, [&] {
        if (count <= 0)
            return 1;
        if (text == nullptr || pattern == nullptr)
            return 0;
        for (int i = 0; i < count; ++i) {
            if (pattern[i] == '*')
                return 1;
            if (pattern[i] != '?' && pattern[i] != text[i])
                return 0;
        }
        return 1;
    });
}

void StrCopy(char* target, const char* source, int count, int stop) {
    platform::Guarded([&] {
        if (target == nullptr || source == nullptr)
            return;
        const char stopByte = static_cast<char>(stop);
        for (int i = 0; i < count && source[i] != '\0' && source[i] != stopByte; ++i)
            target[i] = source[i];
    });
}

int FindString(const char* data, const char* key, int length, char** position) {
    return platform::Guarded(0, [&] { return Find(data, key, length, position, 1); });
}

int FindString2(const char* data, const char* key, int length, char** position) {
    return platform::Guarded(0, [&] { return Find(data, key, length, position, 2); });
}

} // extern "C"
