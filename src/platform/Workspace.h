#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

#include "platform/Seam.h"

namespace nimbla::platform {

struct RunningApplication {
    pid_t pid = 0;
    std::optional<std::string> bundleIdentifier;  // none for a process outside any bundle
};

// A snapshot of the running applications. Off macOS: the current user's processes from /proc,
// each with the CFBundleIdentifier of the nearest enclosing "*.app" folder of its executable
// whose Contents/Info.plist has one. Processes that vanish or cannot be read are skipped.
std::vector<RunningApplication> runningApplications();
Seam<std::vector<RunningApplication>()>& workspaceSeam();

// The bundle identifier for an executable path, as the snapshot gives it.
std::optional<std::string> bundleIdentifierForExecutable(const std::string& executablePath);

}  // namespace nimbla::platform
