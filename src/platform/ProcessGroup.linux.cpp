#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string>
#include <string_view>

#include "platform/os/ProcessGroup.h"

namespace nimbla::platform {

namespace {

// /proc/<pid>/stat from field 3 on (the state). The second field, the program's name in
// parentheses, may hold spaces and parentheses itself, so the fields start after the last ')'.
std::string statFields(const std::string& pid) {
    const int fd = ::open(("/proc/" + pid + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    const std::string_view stat(buffer, n > 0 ? std::size_t(n) : 0);
    const std::size_t end = stat.rfind(") ");
    return end == std::string_view::npos ? std::string() : std::string(stat.substr(end + 2));
}

// Field `number` (3 and on) of `fields` as a number, or none.
template <typename Number>
std::optional<Number> field(std::string_view fields, int number) {
    for (int at = 3; at < number; ++at) {
        const std::size_t space = fields.find(' ');
        if (space == std::string_view::npos) {
            return std::nullopt;
        }
        fields.remove_prefix(space + 1);
    }
    Number value{};
    if (std::from_chars(fields.data(), fields.data() + fields.size(), value).ec != std::errc()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

// Field 22: the start in clock ticks after boot.
std::optional<std::uint64_t> os::processStart(pid_t pid) {
    return field<std::uint64_t>(statFields(std::to_string(pid)), 22);
}

// Field 3 is the state (Z: a zombie, X: dead), field 5 the process group.
bool os::groupHasLiveMember(pid_t group) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return true;  // cannot tell: it may still run
    }
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue;
        }
        const std::string fields = statFields(entry->d_name);
        if (!fields.empty() && fields[0] != 'Z' && fields[0] != 'X' &&
            field<pid_t>(fields, 5) == group) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

}  // namespace nimbla::platform
