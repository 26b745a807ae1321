#include <gtest/gtest.h>

#include <random>
#include <string>

#include "RoundTrip.h"
#include "StressSupport.h"

namespace nimbla {
namespace {

// The same checks as the fuzz target, over a large random corpus, so that they also run in the
// sanitizer builds and where no libFuzzer is at hand. Paths are drawn mostly from the characters
// that matter to the shell and to the script string.
TEST(EscapingStress, RandomPathsComeBackWholeThroughScriptStringAndShell) {
    std::mt19937 random(7);
    const std::string nasty = "'\"\\$`;\n\r\t !&|<>()*?[]#~={}%/ aZ9\x7f\xc3\xa9\x01";
    const long paths = stress::scaled(200000);
    for (long i = 0; i < paths; ++i) {
        std::string path = "/";
        const std::size_t length = random() % 40;
        for (std::size_t k = 0; k < length; ++k) {
            path += random() % 4 ? nasty[random() % nasty.size()]
                                 : static_cast<char>(1 + random() % 255);
        }
        const std::string problem = roundtrip::checkPrivilegedCommand(path);
        ASSERT_EQ(problem, "") << "path: " << ::testing::PrintToString(path);
    }
}

TEST(EscapingStress, LiteralParserSurvivesAnyTextFromAnyPosition) {
    std::mt19937 random(11);
    const std::string alphabet("\"\\nrt \0\xff'abc", 12);
    const long texts = stress::scaled(200000);
    for (long i = 0; i < texts; ++i) {
        std::string text;
        const std::size_t length = random() % 24;
        for (std::size_t k = 0; k < length; ++k) {
            text += random() % 8 ? alphabet[random() % alphabet.size()]
                                 : static_cast<char>(random() % 256);
        }
        const std::size_t pos = random() % (text.size() + 1);
        const std::string problem = roundtrip::checkParserOn(text, pos);
        ASSERT_EQ(problem, "") << "text: " << ::testing::PrintToString(text) << " at " << pos;
    }
}

}  // namespace
}  // namespace nimbla
