#pragma once

// Implemented once per system, in SystemVersion.<os>.cpp. Internal to the platform layer.

#include "platform/SystemVersion.h"

namespace nimbla::platform::os {

// The running system's version (see operatingSystemVersion()).
OperatingSystemVersion currentSystemVersion();

}  // namespace nimbla::platform::os
