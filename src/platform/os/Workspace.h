#pragma once

// Implemented once per system, in Workspace.<os>.cpp. Internal to the platform layer.

#include <sys/types.h>

#include <optional>

#include "platform/Workspace.h"

namespace nimbla::platform::os {

// The processes of user `uid` (with none: of every user), or none when the system's list cannot
// be read. Processes that end meanwhile are left out.
ProcessList processesOf(std::optional<uid_t> uid);

}  // namespace nimbla::platform::os
