#pragma once

// Implemented once per system, in Bundle.<os>.cpp. Internal to the platform layer.

#include <optional>
#include <string>

namespace nimbla::platform::os {

// The absolute path of the running executable, links resolved.
std::optional<std::string> ownExecutablePath();

}  // namespace nimbla::platform::os
