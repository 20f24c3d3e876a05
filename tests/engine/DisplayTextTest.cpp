// The size and time texts: their forms, and that they never write past the buffer given.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "engine/DVOSUB.h"
#include "engine/DisplayText.h"
#include "platform/Text.h"

namespace {

TEST(DisplayText, SizeForms) {
    const struct {
        long long size;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {999, "999 B"},
        {1023, "1023 B"},
        {1024, "1.00 KB"},
        {1535, "1.50 KB"},
        {10234, "9.99 KB"},
        {10235, "10.0 KB"},
        {25LL * 1024 * 1024 / 2, "12.5 MB"},
        {1048063, "1023 KB"},
        {1048064, "1.00 MB"},
        {123LL << 30, "123 GB"},
        {1LL << 40, "1.00 TB"},
        {0x7FFFFFFFFFFFFFFFLL, "8.00 EB"},
        {-2048, "-2.00 KB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dvo::FormatFileSize(c.size), c.text) << c.size;
    }
}

// Every size text in every buffer size: terminated, cut to fit, nothing written past the end.
TEST(DisplayText, NeverOverrunsTheBuffer) {
    const long long sizes[] = {
        0, 5, 999, 1023, 1024, 123456789, 0x7FFFFFFFFFFFFFFFLL, -0x7FFFFFFFFFFFFFFFLL - 1};
    const DVOSystemTime time{2026, 12, 3, 9, 7, 5, 0, 0};
    for (int bytes = 0; bytes <= 42; ++bytes) {
        for (int which = 0; which < 9; ++which) {
            char16_t buffer[32];
            std::fill(std::begin(buffer), std::end(buffer), u'#');
            const int n = which < 8 ? DVOFileSize2String(buffer, bytes, sizes[which])
                                    : DVOSystemTime2String(buffer, bytes, &time);
            const std::string full =
                which < 8 ? dvo::FormatFileSize(sizes[which]) : std::string("2026/12/09 07:05");
            SCOPED_TRACE(full + " in " + std::to_string(bytes) + " bytes");
            const int units = bytes / 2;
            for (int i = units; i < 32; ++i) {
                EXPECT_EQ(buffer[i], u'#') << "written past the buffer at unit " << i;
            }
            if (bytes < 2) {
                EXPECT_LT(n, 0);
                continue;
            }
            const int expected = std::min<int>(static_cast<int>(full.size()), units - 1);
            EXPECT_EQ(n, expected);
            EXPECT_EQ(buffer[n], u'\0');
            EXPECT_EQ(platform::Utf16ToUtf8(std::u16string(buffer, n)), full.substr(0, n));
        }
    }
}

TEST(DisplayText, TimeForm) {
    char16_t buffer[20];
    const DVOSystemTime t{1999, 1, 5, 2, 23, 59, 58, 999};
    ASSERT_EQ(DVOSystemTime2String(buffer, sizeof buffer, &t), 16);
    EXPECT_EQ(std::u16string(buffer), u"1999/01/02 23:59");
    EXPECT_EQ(DVOSystemTime2String(buffer, sizeof buffer, nullptr), DVO_E_INVALID_ARGUMENT);
    EXPECT_EQ(buffer[0], u'\0');
}

} // namespace
