#pragma once

// Implemented once per system, in Workspace.<os>.cpp. Internal to the platform layer.

#include <sys/types.h>

#include <string>
#include <vector>

namespace nimbla::platform::os {

// The processes of user `uid` with their executables' paths. Processes that end meanwhile or
// cannot be read are left out.
struct ProcessEntry {
    pid_t pid = 0;
    std::string executable;
};
std::vector<ProcessEntry> processesOf(uid_t uid);

}  // namespace nimbla::platform::os
