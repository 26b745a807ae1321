#pragma once

#include <string>
#include <vector>

#include "cli/Target.h"

namespace nimbla::cli {

// The whole program: parses `arguments` (without the program's name), runs the command for the
// process `context` describes, and returns the exit status. With --json anywhere in the arguments
// every exit prints exactly one JSON object on standard output.
int run(const std::vector<std::string>& arguments, const Context& context);

// The same for this process, as `main` runs it.
int run(const std::vector<std::string>& arguments);

// Puts /dev/null in place of any of descriptors 0, 1 and 2 that is closed, so no file opened
// later takes one of their numbers (and with it the output meant for the terminal).
void openClosedStandardDescriptors();

}  // namespace nimbla::cli
