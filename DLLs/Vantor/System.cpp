// Version checks, screen queries, date text and the thin helpers.
#include "DLLs/Vantor/Vantor.h"

#include "DLLs/common/ScreenInfo.h"
#include "platform/Clock.h"
#include "platform/Guard.h"

#include <cstdio>
#include <cstring>

extern "C" {

// The checks accept particular Windows editions and service packs; no such system exists here.
int SRCheckOSVersion(void) { return 0; }
int SRCheckOSVersion2(void) { return 0; }
int SRCheckOSVersion3(void) { return 0; }

int SRGetScreenSize(int* width, int* height) {
    platform::Guarded([&] { common::GetScreenSize(width, height); });
    return 0;
}

int SRGetWorkAreaSize(int* width, int* height) {
    platform::Guarded([&] { common::GetWorkAreaSize(width, height); });
    return 0;
}

int CMNGetDateTimeString(char* buffer, int size) {
    return platform::Guarded<int>(-1, [&]() -> int {
        if (buffer == nullptr || size < 20)
            return -1;
        const platform::LocalTime t = platform::LocalNow();
        char text[64];
        std::snprintf(text, sizeof text, "%4.4d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d", t.year, t.month,
                      t.day, t.hour, t.minute, t.second);
        // Years beyond 9999 would not fit the 20 bytes the caller promised.
        std::memcpy(buffer, text, 19);
        buffer[19] = '\0';
        return 0;
    });
}

int SRstrcpy(char* dst, const char* src) {
    std::strcpy(dst, src);
    return 0;
}

int SRstrncpy(char* dst, const char* src, size_t n) {
    std::strncpy(dst, src, n);
    return 0;
}

int SRstrcat(char* dst, const char* src) {
    std::strcat(dst, src);
    return 0;
}

int SRstrcmp(const char* a, const char* b) { return std::strcmp(a, b); }

int SRstrncmp(const char* a, const char* b, size_t n) { return std::strncmp(a, b, n); }

char* SRstrstr(const char* text, const char* pattern) {
    return const_cast<char*>(std::strstr(text, pattern));
}

int SRmemset(void* buffer, int value, size_t n) {
    std::memset(buffer, value, n);
    return 0;
}

int SRmemcpy(void* dst, const void* src, size_t n) {
    std::memcpy(dst, src, n);
    return 0;
}

int SRmemcmp(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n); }

int SRsetbit(int value, int mask) { return value | mask; }
int SRresetbit(int value, int mask) { return value & ~mask; }
int SRchkbit(int value, int mask) { return value & mask; }

} // extern "C"
