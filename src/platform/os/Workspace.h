#pragma once

// Implemented once per system, in Workspace.<os>.cpp. Internal to the platform layer.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace nimbla::platform::os {

// The processes of user `uid` (with none: of every user) with their executables' paths and
// their users. Processes that end meanwhile or cannot be read are left out.
struct ProcessEntry {
    pid_t pid = 0;
    std::string executable;
    uid_t uid = 0;
};
std::vector<ProcessEntry> processesOf(std::optional<uid_t> uid);

}  // namespace nimbla::platform::os
