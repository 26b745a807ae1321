#pragma once

#include <string>

namespace nimbla {

// Uninstall: refuses while the client runs; otherwise removes the domain on the calling (main)
// thread, then runs both uninstall scripts on the background queue and posts UNINSTALL_SUCCESS or
// UNINSTALL_FAILED from the main queue. Returns once the scripts are handed over.
void uninstallNimbla();

// The shell command line that runs the root script at `path`: "sudo " and the path quoted for the
// shell, for an ordinary path exactly "sudo '<path>'". The privileged runner takes it as it is.
std::string privilegedCommandFor(const std::string& path);

}  // namespace nimbla
