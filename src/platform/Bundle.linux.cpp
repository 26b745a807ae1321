#include <limits.h>
#include <unistd.h>

#include "platform/os/Bundle.h"

namespace nimbla::platform {

std::optional<std::string> os::ownExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace nimbla::platform
