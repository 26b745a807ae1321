#pragma once

#include <string>
#include <vector>

namespace nimbla::cli {

// The whole program: parses `arguments` (without the program's name), runs the command and
// returns the exit status.
int run(const std::vector<std::string>& arguments);

}  // namespace nimbla::cli
