#include <mach-o/dyld.h>
#include <stdlib.h>

#include <cstdint>
#include <vector>

#include "platform/os/Bundle.h"

namespace nimbla::platform {

std::optional<std::string> os::ownExecutablePath() {
    uint32_t size = 0;
    ::_NSGetExecutablePath(nullptr, &size);  // only asks for the size
    std::vector<char> buffer(size + 1, '\0');
    if (size == 0 || ::_NSGetExecutablePath(buffer.data(), &size) != 0) {
        return std::nullopt;
    }
    // The path the program was started by may hold links and "..": resolve it.
    char* resolved = ::realpath(buffer.data(), nullptr);
    if (!resolved) {
        return std::nullopt;
    }
    std::string path = resolved;
    ::free(resolved);
    return path;
}

}  // namespace nimbla::platform
