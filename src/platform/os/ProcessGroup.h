#pragma once

// Implemented once per system, in ProcessGroup.<os>.cpp. Internal to the platform layer.

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace nimbla::platform::os {

// When process `pid` started, in the system's own units, or none when there is no such process.
std::optional<std::uint64_t> processStart(pid_t pid);

// Whether a process of group `group` has not yet ended (a zombie has).
bool groupHasLiveMember(pid_t group);

}  // namespace nimbla::platform::os
