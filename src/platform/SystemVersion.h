#pragma once

#include <compare>
#include <string>
#include <string_view>

#include "platform/Seam.h"

namespace nimbla::platform {

struct OperatingSystemVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    auto operator<=>(const OperatingSystemVersion&) const = default;
};

// Parses the leading "major[.minor[.patch]]" of `text` ("14.2", "6.1.0-18-amd64"); missing or
// unreadable components are 0.
OperatingSystemVersion parseOperatingSystemVersion(std::string_view text);

inline constexpr const char* kSystemVersionPlist =
    "/System/Library/CoreServices/SystemVersion.plist";

// The running operating system's version. On macOS the kernel's kern.osproductversion, else
// "ProductVersion" of kSystemVersionPlist. Elsewhere "ProductVersion" of kSystemVersionPlist when
// that file exists (the simulated installation has one), else the kernel release. Tests replace it
// through operatingSystemVersionSeam().
OperatingSystemVersion operatingSystemVersion();
Seam<OperatingSystemVersion()>& operatingSystemVersionSeam();

// What the default does, with the property list's path given: its "ProductVersion" when the file
// exists and holds one, else the kernel release.
OperatingSystemVersion operatingSystemVersionFrom(const std::string& systemVersionPlist);

}  // namespace nimbla::platform
