#include <libproc.h>
#include <sys/proc_info.h>
#include <sys/sysctl.h>

#include <cstring>

#include "platform/os/Workspace.h"

namespace nimbla::platform {

namespace {

// The path the process was started from (the kernel keeps it before the arguments), or empty.
// The buffer must hold the whole argument area, whose largest size the system gives.
std::string launchPathOf(pid_t pid) {
    int argumentsMax = 0;
    std::size_t length = sizeof argumentsMax;
    int argmaxMib[2] = {CTL_KERN, KERN_ARGMAX};
    if (::sysctl(argmaxMib, 2, &argumentsMax, &length, nullptr, 0) != 0 || argumentsMax <= 0) {
        return {};
    }
    int mib[3] = {CTL_KERN, KERN_PROCARGS2, pid};
    std::vector<char> buffer(static_cast<std::size_t>(argumentsMax));
    std::size_t size = buffer.size();
    if (::sysctl(mib, 3, buffer.data(), &size, nullptr, 0) != 0 || size <= sizeof(int)) {
        return {};
    }
    const char* path = buffer.data() + sizeof(int);  // after the argument count
    return std::string(path, ::strnlen(path, size - sizeof(int)));
}

}  // namespace

ProcessList os::processesOf(std::optional<uid_t> uid) {
    std::vector<ProcessEntry> processes;
    // The list may grow between asking for its size and reading it: room for more, and a full
    // buffer means asking again with more room.
    std::vector<pid_t> pids;
    int count = ::proc_listallpids(nullptr, 0);
    while (count > 0) {
        pids.resize(static_cast<std::size_t>(count) + 64);
        const int bytes = static_cast<int>(pids.size() * sizeof(pid_t));
        count = ::proc_listallpids(pids.data(), bytes);
        if (count < static_cast<int>(pids.size())) {
            break;
        }
        count = static_cast<int>(pids.size()) * 2;
    }
    if (count <= 0) {
        return std::nullopt;  // there is always at least launchd: the list was not read
    }
    pids.resize(static_cast<std::size_t>(count));
    char path[PROC_PIDPATHINFO_MAXSIZE];
    for (const pid_t pid : pids) {
        // A process may end at any point here; whatever can no longer be read is skipped.
        proc_bsdinfo info{};
        if (pid <= 0 ||
            ::proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, PROC_PIDTBSDINFO_SIZE) !=
                PROC_PIDTBSDINFO_SIZE ||
            (uid && info.pbi_uid != *uid)) {
            continue;
        }
        ProcessEntry process{pid, info.pbi_uid, {}, {}, {}};
        const int length = ::proc_pidpath(pid, path, sizeof path);
        if (length > 0) {
            process.executable.assign(path, static_cast<std::size_t>(length));
        } else {
            // Replaced or deleted while running: the shared code judges by name and start path.
            process.name.assign(info.pbi_comm, ::strnlen(info.pbi_comm, sizeof info.pbi_comm));
            process.launchPath = launchPathOf(pid);
        }
        processes.push_back(std::move(process));
    }
    return processes;
}

}  // namespace nimbla::platform
