#pragma once

// Implemented once per system, in ProcessGroup.<os>.cpp. Internal to the platform layer.

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace nimbla::platform::os {

// When process `pid` started, in the system's own units, or none when there is no such process.
std::optional<std::uint64_t> processStart(pid_t pid);

}  // namespace nimbla::platform::os
