#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string>

#include "platform/os/ProcessGroup.h"

namespace nimbla::platform {

// Field 22 of /proc/<pid>/stat: the start in clock ticks after boot. The second field, the
// program's name in parentheses, may hold spaces and parentheses itself, so the fields are
// counted from the last ')'.
std::optional<std::uint64_t> os::processStart(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) {
        return std::nullopt;
    }
    const std::string_view stat(buffer, static_cast<std::size_t>(n));
    std::size_t at = stat.rfind(')');
    for (int field = 2; field < 22 && at != std::string_view::npos; ++field) {
        at = stat.find(' ', at + 1);
    }
    std::uint64_t start = 0;
    if (at == std::string_view::npos ||
        std::from_chars(stat.data() + at + 1, stat.data() + stat.size(), start).ec != std::errc()) {
        return std::nullopt;
    }
    return start;
}

}  // namespace nimbla::platform
