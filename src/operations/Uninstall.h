#pragma once

#include <optional>
#include <string>
#include <vector>

#include "operations/Reset.h"

namespace nimbla {

// Uninstall: refuses while the client runs; otherwise removes the domain on the calling (main)
// thread, then runs both uninstall scripts on the background queue and posts UNINSTALL_SUCCESS or
// UNINSTALL_FAILED from the main queue. Returns once the scripts are handed over.
void uninstallNimbla();

// The shell command line that runs the root script at `path`: "sudo " and the path quoted for the
// shell, for an ordinary path exactly "sudo '<path>'". The privileged runner takes it as it is.
std::string privilegedCommandFor(const std::string& path);

// The two uninstall scripts among the tool's resources, when they are there.
std::optional<std::string> userUninstallScript();
std::optional<std::string> privilegedUninstallScript();

// Every command an uninstall runs after the version read, in order (a missing script runs
// nothing).
std::vector<PlannedStep> uninstallSteps(const RemovalCommand& command);

}  // namespace nimbla
