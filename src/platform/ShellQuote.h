#pragma once

#include <string>

namespace nimbla::platform {

// `word` quoted for a POSIX shell: between single quotes, each quote in it written '\''.
std::string shellQuoted(const std::string& word);

}  // namespace nimbla::platform
