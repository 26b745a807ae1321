#include <sys/sysctl.h>

#include <cstring>

#include "platform/PropertyList.h"
#include "platform/os/SystemVersion.h"

namespace nimbla::platform {

OperatingSystemVersion os::currentSystemVersion() {
    char text[64] = {};
    std::size_t size = sizeof text - 1;
    if (::sysctlbyname("kern.osproductversion", text, &size, nullptr, 0) == 0 && size > 0) {
        return parseOperatingSystemVersion(std::string_view(text, ::strnlen(text, size)));
    }
    // Not the kernel release here: Darwin's numbers are not the system's.
    if (const auto version = readPlistString(kSystemVersionPlist, "ProductVersion")) {
        return parseOperatingSystemVersion(*version);
    }
    return {};
}

}  // namespace nimbla::platform
