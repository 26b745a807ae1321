// libFuzzer target: the privileged command for any path comes back whole through the AppleScript
// literal and the shell's quoting, and the literal parser survives any text from any position.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string problem;
    if (data[0] & 1) {
        std::string path = rest;
        for (char& c : path) {
            if (c == '\0') {
                c = '/';  // a file path never holds NUL
            }
        }
        problem = nimbla::roundtrip::checkPrivilegedCommand(path);
    } else {
        problem = nimbla::roundtrip::checkParserOn(rest, data[0] / 2 % (rest.size() + 1));
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "privileged_command_fuzzer: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
