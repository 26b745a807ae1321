#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Seam.h"

namespace nimbla::platform {

struct RunningApplication {
    pid_t pid = 0;
    std::optional<std::string> bundleIdentifier;  // none for a process outside any bundle
};

// A snapshot of the processes of user `uid` (from libproc on macOS, /proc elsewhere). A process
// whose executable is the main executable of an application bundle,
// <name>.app/Contents/MacOS/<the CFBundleExecutable of <name>.app/Contents/Info.plist>, carries
// that bundle's CFBundleIdentifier; helpers elsewhere in a bundle and plug-ins (*.appex) carry
// none. Processes that vanish or cannot be read are skipped.
std::vector<RunningApplication> runningApplicationsOf(uid_t uid);

// The same for every user, each application with its user's id.
std::vector<std::pair<uid_t, RunningApplication>> runningApplicationsOfEveryone();

// The bundle identifier for an executable path, as the snapshot gives it.
std::optional<std::string> bundleIdentifierForExecutable(const std::string& executablePath);

}  // namespace nimbla::platform
