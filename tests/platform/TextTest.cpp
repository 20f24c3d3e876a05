#include "platform/Text.h"

#include <gtest/gtest.h>
#include <random>

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

namespace {

struct TextCase {
    const char* what;
    std::string bytes;
    std::u16string utf16;
};

const TextCase kBothWays[] = {
    {"empty", "", u""},
    {"ascii", "abc/def.txt", u"abc/def.txt"},
    {"japanese", "\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
    {"two-byte", "\xC3\xA9", u"\u00E9"},
    {"four-byte as surrogate pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
    {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
    {"stray continuation byte", "a\x80z", u"a\xDC80z"},
    {"latin-1 byte", "caf\xE9", u"caf\xDCE9"},
    {"truncated three-byte", "\xE6\x97", u"\xDCE6\xDC97"},
    {"truncated before ascii", "\xE6\x97x", u"\xDCE6\xDC97x"},
    {"overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF"},
    {"overlong three-byte", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
    {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
    {"byte FF", "\xFF", u"\xDCFF"},
};

TEST(Text, ConvertsBothWays) {
    for (const auto& c : kBothWays) {
        EXPECT_EQ(Utf8ToUtf16(c.bytes), c.utf16) << c.what;
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.bytes) << c.what;
    }
}

// UTF-16 that cannot come from bytes: lone surrogates that carry no byte become U+FFFD.
TEST(Text, SurrogatesThatCarryNoByteBecomeReplacement) {
    const struct {
        const char* what;
        std::u16string utf16;
        std::string bytes;
    } cases[] = {
        {"lone high surrogate", u"a\xD800z", "a\xEF\xBF\xBDz"},
        {"high surrogate at end", u"\xD83D", "\xEF\xBF\xBD"},
        {"low surrogate below DC80", u"\xDC7F", "\xEF\xBF\xBD"},
        {"low surrogate above DCFF", u"\xDD00", "\xEF\xBF\xBD"},
        {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"a pair wins over the byte escape", u"\xD83D\xDC80", "\xF0\x9F\x92\x80"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.bytes) << c.what;
}

TEST(Text, AnyByteStringSurvivesTheRoundTrip) {
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 40);
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(static_cast<std::size_t>(length(rng)), '\0');
        // Mix in valid multi-byte text so both paths of the decoder are exercised.
        for (auto& b : bytes)
            b = static_cast<char>(byte(rng));
        if (i % 3 == 0)
            bytes += "\xE3\x81\x82";
        ASSERT_EQ(Utf16ToUtf8(Utf8ToUtf16(bytes)), bytes) << "case " << i;
    }
}

TEST(Text, Utf16Length) {
    EXPECT_EQ(platform::Utf16Length(nullptr), 0u);
    EXPECT_EQ(platform::Utf16Length(u""), 0u);
    EXPECT_EQ(platform::Utf16Length(u"\u65E5\u672C"), 2u);
}

} // namespace

namespace {

TEST(Text, FixedArraysEndAtTheirNulOrTheirCapacity) {
    const char16_t full[3] = {u'a', u'b', u'c'}; // no NUL inside the capacity
    EXPECT_EQ(platform::Utf16ArrayToUtf8(full, 3), "abc");
    const char16_t shortText[5] = {u'x', u'\0', u'y'};
    EXPECT_EQ(platform::Utf16ArrayToUtf8(shortText, 5), "x");
    EXPECT_EQ(platform::Utf16ArrayToUtf8(full, 0), "");
}

} // namespace
