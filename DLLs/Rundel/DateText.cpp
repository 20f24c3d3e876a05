// Current date and time as fixed fields without terminators.
#include "DLLs/Rundel/DateText.h"

#include "DLLs/Rundel/Rundel.h"
#include "platform/Guard.h"

namespace {

// Exactly digits decimal digits of a non-negative value, leading zeros kept.
void Digits(int value, int digits, char* out) {
    unsigned v = value < 0 ? 0U : static_cast<unsigned>(value);
    for (int i = digits - 1; i >= 0; --i, v /= 10)
        out[i] = static_cast<char>('0' + v % 10);
}

void ThreeParts(int a, int b, int c, int lastDigits, char separator, char* field) {
    Digits(a, 2, field);
    field[2] = separator;
    Digits(b, 2, field + 3);
    field[5] = separator;
    Digits(c, lastDigits, field + 6);
}

} // namespace

namespace rundel {

void FormatDate(const platform::LocalTime& t, char* field) {
    ThreeParts(t.month, t.day, t.year % 10000, 4, '/', field);
}
void FormatDate2(const platform::LocalTime& t, char* field) {
    ThreeParts(t.month, t.day, t.year % 100, 2, '/', field);
}
void FormatTime(const platform::LocalTime& t, char* field) {
    ThreeParts(t.hour, t.minute, t.second, 2, ':', field);
}

} // namespace rundel

extern "C" {

void GetDate(char* field) {
    platform::Guarded([&] {
        if (field != nullptr)
            rundel::FormatDate(platform::LocalNow(), field);
    });
}

void GetDate2(char* field) {
    platform::Guarded([&] {
        if (field != nullptr)
            rundel::FormatDate2(platform::LocalNow(), field);
    });
}

void GetTime(char* field) {
    platform::Guarded([&] {
        if (field != nullptr)
            rundel::FormatTime(platform::LocalNow(), field);
    });
}

} // extern "C"
