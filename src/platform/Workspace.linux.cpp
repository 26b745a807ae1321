#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <optional>
#include <string_view>

#include "platform/os/Workspace.h"

namespace nimbla::platform {

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

// The owner of /proc/<pid>: the user the process runs as (root for one that cannot be inspected,
// whose executable could not be read anyway). Far cheaper than reading /proc/<pid>/status.
std::optional<uid_t> ownerOf(int procFd, const char* pid) {
    struct stat st {};
    if (::fstatat(procFd, pid, &st, 0) != 0) {
        return std::nullopt;
    }
    return st.st_uid;
}

std::optional<std::string> executableOf(int procFd, const char* pid) {
    const std::string exePath = std::string(pid) + "/exe";
    char buffer[4096];
    const ssize_t n = ::readlinkat(procFd, exePath.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
        return std::nullopt;
    }
    std::string path(buffer, static_cast<std::size_t>(n));
    if (path.ends_with(kDeletedSuffix)) {
        path.resize(path.size() - kDeletedSuffix.size());
    }
    return path;
}

bool isPid(const char* name) {
    if (*name == '\0') {
        return false;
    }
    for (; *name; ++name) {
        if (*name < '0' || *name > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

ProcessList os::processesOf(std::optional<uid_t> uid) {
    std::vector<ProcessEntry> processes;
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return std::nullopt;
    }
    const int procFd = ::dirfd(proc);
    for (;;) {
        errno = 0;  // readdir ends the list with errno untouched, or set when it broke off
        const dirent* entry = ::readdir(proc);
        if (entry == nullptr) {
            break;
        }
        if (!isPid(entry->d_name)) {
            continue;
        }
        // A process may end at any point here; whatever can no longer be read is skipped.
        const auto owner = ownerOf(procFd, entry->d_name);
        if (!owner || (uid && *owner != *uid)) {
            continue;
        }
        auto executable = executableOf(procFd, entry->d_name);
        if (!executable) {
            continue;
        }
        pid_t pid = 0;
        std::from_chars(entry->d_name,
                        entry->d_name + std::char_traits<char>::length(entry->d_name), pid);
        processes.push_back({pid, *owner, std::move(*executable), {}, {}});
    }
    const bool listed = errno == 0;
    ::closedir(proc);
    if (!listed) {
        return std::nullopt;
    }
    return processes;
}

}  // namespace nimbla::platform
