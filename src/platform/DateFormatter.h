#pragma once

#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace nimbla::platform {

// Formats `when` with an ICU (Unicode TR35) pattern such as "yy-MM-dd", in the user's current
// locale, calendar and time zone, as the desktop's own date formatter does. Returns "" when
// ICU cannot format (it never throws).
std::string formatDate(std::string_view pattern, TimePoint when);

}  // namespace nimbla::platform
