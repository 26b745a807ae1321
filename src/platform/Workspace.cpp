#include "platform/Workspace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <map>
#include <string_view>

#include "platform/PropertyList.h"

namespace nimbla::platform {

namespace {

constexpr std::string_view kDeletedSuffix = " (deleted)";

// Bundle folder -> its identifier, so a snapshot reads each Info.plist once.
using IdentifierCache = std::map<std::string, std::optional<std::string>, std::less<>>;

std::optional<std::string> identifierOfBundle(const std::string& bundle, IdentifierCache& cache) {
    if (auto it = cache.find(bundle); it != cache.end()) {
        return it->second;
    }
    auto identifier = readPlistString(bundle + "/Contents/Info.plist", "CFBundleIdentifier");
    cache.emplace(bundle, identifier);
    return identifier;
}

// Walks up from the executable: the nearest enclosing "*.app" folder with an identifier wins;
// one without (no Info.plist, no such key) passes the question to the folders around it.
std::optional<std::string> identifierForExecutable(std::string_view path, IdentifierCache& cache) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::size_t end = path.rfind('/');  // the folder holding the executable ends here
    while (end != 0 && end != std::string_view::npos) {
        const std::string_view folder = path.substr(0, end);
        const std::size_t slash = folder.rfind('/');
        const std::string_view name = folder.substr(slash + 1);
        if (name.size() > 4 && name.ends_with(".app")) {
            if (auto identifier = identifierOfBundle(std::string(folder), cache)) {
                return identifier;
            }
        }
        end = slash;
    }
    return std::nullopt;
}

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

std::vector<RunningApplication> realRunningApplications() {
    std::vector<RunningApplication> applications;
    DIR* proc = ::opendir("/proc");
    if (!proc) {
        return applications;
    }
    const int procFd = ::dirfd(proc);
    const uid_t me = ::getuid();
    IdentifierCache cache;
    while (const dirent* entry = ::readdir(proc)) {
        if (!isPid(entry->d_name)) {
            continue;
        }
        // A process may end at any point here; whatever can no longer be read is skipped.
        const auto uid = ownerOf(procFd, entry->d_name);
        if (!uid || *uid != me) {
            continue;
        }
        const auto executable = executableOf(procFd, entry->d_name);
        if (!executable) {
            continue;
        }
        pid_t pid = 0;
        std::from_chars(entry->d_name,
                        entry->d_name + std::char_traits<char>::length(entry->d_name), pid);
        applications.push_back({pid, identifierForExecutable(*executable, cache)});
    }
    ::closedir(proc);
    return applications;
}

}  // namespace

Seam<std::vector<RunningApplication>()>& workspaceSeam() {
    static auto* const seam = new Seam<std::vector<RunningApplication>()>(realRunningApplications);
    return *seam;
}

std::vector<RunningApplication> runningApplications() {
    return workspaceSeam()();
}

std::optional<std::string> bundleIdentifierForExecutable(const std::string& executablePath) {
    IdentifierCache cache;
    return identifierForExecutable(executablePath, cache);
}

}  // namespace nimbla::platform
