#pragma once

#include <chrono>

#include "platform/Seam.h"

namespace nimbla::platform {

using TimePoint = std::chrono::system_clock::time_point;

// The current date and time. Tests replace it through clockSeam().
TimePoint now();
Seam<TimePoint()>& clockSeam();

}  // namespace nimbla::platform
