#include <random>

#include "helpers/TestSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// The fuzz target's checks over a random corpus, where no libFuzzer is at hand (the sanitizer
// builds, and the unit run). Inputs are drawn mostly from the characters that matter to the shell
// and to the script string; the checks abort with the reason on the first fault.
TEST(EscapingLoad, RandomPathsAndLiteralsSurviveTheRoundTrip) {
    std::mt19937 random(7);
    const std::string nasty("'\"\\$`;\n\r\t !&|<>()*?[]#~={}%/ nrt aZ9\x7f\xc3\xa9\x01\0", 39);
    for (long i = 0; i < nimbla::testsupport::sized(20000, 400000); ++i) {
        std::string input(1, char(random()));
        for (std::size_t length = random() % 40; input.size() <= length;) {
            input += random() % 4 ? nasty[random() % nasty.size()] : char(random());
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
}
