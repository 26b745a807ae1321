#include "platform/SystemVersion.h"

#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/PropertyList.h"
#include "platform/os/SystemVersion.h"

namespace nimbla::platform {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

OperatingSystemVersion operatingSystemVersionFrom(const std::string& systemVersionPlist) {
    struct stat st {};
    if (::stat(systemVersionPlist.c_str(), &st) == 0) {
        if (const auto version = readPlistString(systemVersionPlist, "ProductVersion")) {
            return parseOperatingSystemVersion(*version);
        }
    }
    struct utsname names {};
    if (::uname(&names) != 0) {
        return {};
    }
    return parseOperatingSystemVersion(names.release);
}

OperatingSystemVersion parseOperatingSystemVersion(std::string_view text) {
    int parts[3] = {0, 0, 0};
    std::size_t at = 0;
    for (int index = 0; index < 3; ++index) {
        if (index > 0) {
            if (at >= text.size() || text[at] != '.') {
                break;
            }
            ++at;
        }
        if (at >= text.size() || !isDigit(text[at])) {
            break;
        }
        long long value = 0;
        for (; at < text.size() && isDigit(text[at]); ++at) {
            // A number too large for an int saturates: it is still newer than any real one.
            value = std::min<long long>(value * 10 + (text[at] - '0'), INT_MAX);
        }
        parts[index] = static_cast<int>(value);
    }
    return {parts[0], parts[1], parts[2]};
}

Seam<OperatingSystemVersion()>& operatingSystemVersionSeam() {
    static auto* const seam = new Seam<OperatingSystemVersion()>(os::currentSystemVersion);
    return *seam;
}

OperatingSystemVersion operatingSystemVersion() {
    return operatingSystemVersionSeam()();
}

}  // namespace nimbla::platform
