#pragma once

#include <string>

namespace nimbla {

// Uninstall: refuses while the client runs; otherwise removes the domain on the calling (main)
// thread, then runs both uninstall scripts on the background queue and posts UNINSTALL_SUCCESS or
// UNINSTALL_FAILED from the main queue. Returns once the scripts are handed over.
void uninstallNimbla();

// The privileged command line for the root script at `path`, ready to go between the quotes of
// an AppleScript string: "sudo '" + path + "'" with the path escaped for the shell (' -> '\'')
// and the whole line escaped for AppleScript (\ -> \\, " -> \", line feed -> \n, carriage
// return -> \r). For an ordinary path that is exactly "sudo '<path>'".
std::string privilegedCommandFor(const std::string& path);

}  // namespace nimbla
