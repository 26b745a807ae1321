#include <gtest/gtest.h>

#include "process/Utf8.h"

namespace nimbla {
namespace {

TEST(Utf8, AcceptsWellFormedText) {
    for (const char* text : {"", "plain ASCII, long enough for the word-at-a-time path\n",
                             "\xC2\x80", "caf\xC3\xA9", "\xE0\xA0\x80", "\xED\x9F\xBF",
                             "\xEE\x80\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
                             "12345678\xE2\x9C\x93"
                             "abcdefgh"}) {
        EXPECT_TRUE(isValidUtf8(text)) << testing::PrintToString(text);
    }
    EXPECT_TRUE(isValidUtf8(std::string_view("a\0b", 3)));
}

TEST(Utf8, RejectsMalformedOverlongSurrogateAndOutOfRange) {
    for (const char* text : {"\x80",
                             "abc\xBF",
                             "\xC0\xAF",
                             "\xC1\xBF",
                             "\xE0\x80\xAF",
                             "\xE0\x9F\xBF",
                             "\xF0\x80\x80\xAF",
                             "\xF0\x8F\xBF\xBF",  // overlong forms
                             "\xED\xA0\x80",
                             "\xED\xBF\xBF",  // surrogates
                             "\xF4\x90\x80\x80",
                             "\xF5\x80\x80\x80",
                             "\xFF",  // above U+10FFFF
                             "\xC3",
                             "\xE2\x9C",
                             "\xF0\x90\x80",
                             "12345678\xC3",
                             "\xC3\x28",
                             "\xE2\x28\xA1",
                             "\xF0\x90\x28\xBC"}) {
        EXPECT_FALSE(isValidUtf8(text)) << testing::PrintToString(text);
    }
}

}  // namespace
}  // namespace nimbla
