// libFuzzer target (also driven with random input by escaping_tests): the privileged command for
// any path comes back whole through the script string and the shell's quoting, and the string
// parser survives any text from any position. The checks are independent of how the tool builds
// the command: inside single quotes a POSIX shell takes every byte as is but the quote itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "operations/Uninstall.h"
#include "platform/ScriptingService.h"

namespace {

// Empty when the round trip holds for `path`, else what went wrong.
std::string checkPrivilegedCommand(const std::string& path) {
    const std::string start = "do shell script ", end = " with administrator privileges";
    const std::string source =
        nimbla::platform::administratorScriptSource(nimbla::privilegedCommandFor(path));
    std::size_t stop = 0;
    const auto command = nimbla::platform::parseAppleScriptString(source, start.size(), stop);
    if (!source.starts_with(start) || !source.ends_with(end) ||
        source.find_first_of("\r\n") != std::string::npos) {
        return "the statement lost its fixed parts or its single line";
    }
    if (!command || stop != source.size() - end.size()) {
        return "the string literal does not parse, or ends early";
    }
    if (!command->starts_with("sudo '") || !command->ends_with("'") || command->size() < 7) {
        return "not one quoted word after sudo: " + *command;
    }
    std::string word;  // the quoted word, where only '\'' may leave the quotes, for a quote
    for (std::size_t i = 6; i + 1 < command->size(); ++i) {
        if ((*command)[i] == '\'' &&
            (command->compare(i, 4, "'\\''") || i + 4 >= command->size())) {
            return "a quote lets the shell act: " + *command;
        }
        word += (*command)[i];
        i += (*command)[i] == '\'' ? 3 : 0;
    }
    return word == path ? "" : "the shell would run another path: " + *command;
}

// The parser on any text from any position: never reads outside it, and reports a sane end.
std::string checkParserOn(const std::string& source, std::size_t pos) {
    std::size_t end = std::size_t(-1);
    const auto text = nimbla::platform::parseAppleScriptString(source, pos, end);
    if (end > source.size()) {
        return "end lies outside the text";
    }
    const bool literal = pos < source.size() && source[pos] == '"' && end >= pos + 2;
    return text && (!literal || text->size() + 2 > end - pos) ? "a literal where there is none"
                                                              : "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string problem = checkParserOn(rest, data[0] / 2 % (rest.size() + 1));
    if (data[0] & 1) {
        for (char& c : rest) {
            c = c == '\0' ? '/' : c;  // a file path never holds NUL
        }
        problem = checkPrivilegedCommand(rest);
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "privileged_command_fuzzer: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
