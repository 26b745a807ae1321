#include "platform/ShellQuote.h"

namespace nimbla::platform {

std::string shellQuoted(const std::string& word) {
    // Inside single quotes the shell takes every character literally except the quote itself,
    // which is closed, escaped and reopened.
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

}  // namespace nimbla::platform
