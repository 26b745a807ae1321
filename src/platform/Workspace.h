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

// A snapshot of the processes of user `uid` (from libproc on macOS, /proc elsewhere); none when
// the system's process list cannot be read, which says nothing about what runs. A process whose
// executable is the main executable of an application bundle,
// <name>.app/Contents/MacOS/<the CFBundleExecutable of <name>.app/Contents/Info.plist>, carries
// that bundle's CFBundleIdentifier; helpers elsewhere in a bundle and plug-ins (*.appex) carry
// none. A process whose executable was replaced or deleted while it runs counts by the path it
// was started from, when the process's own name is that path's last part. Processes that vanish
// or cannot be read are skipped.
std::optional<std::vector<RunningApplication>> runningApplicationsOf(uid_t uid);

// The same for every user, each application with its user's id.
std::optional<std::vector<std::pair<uid_t, RunningApplication>>> runningApplicationsOfEveryone();

// The bundle identifier for an executable path, as the snapshot gives it.
std::optional<std::string> bundleIdentifierForExecutable(const std::string& executablePath);

// One process as the system lists it.
struct ProcessEntry {
    pid_t pid = 0;
    uid_t uid = 0;
    // Its executable's path; empty when the system cannot give it (on macOS, for an executable
    // replaced or deleted while it runs).
    std::string executable;
    // The system's short name for the process (its executable's name, cut to 15 or 16 bytes) and
    // the path it was started from; both only needed when `executable` is empty.
    std::string name;
    std::string launchPath;
};

// The processes of user `uid` (with none: of every user), or none when the list cannot be read;
// tests replace it.
using ProcessList = std::optional<std::vector<ProcessEntry>>;
Seam<ProcessList(std::optional<uid_t>)>& processListSeam();

}  // namespace nimbla::platform
