#include <libproc.h>
#include <sys/proc_info.h>

#include "platform/os/Workspace.h"

namespace nimbla::platform {

std::vector<os::ProcessEntry> os::processesOf(std::optional<uid_t> uid) {
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
        return processes;
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
        const int length = ::proc_pidpath(pid, path, sizeof path);
        if (length <= 0) {
            continue;
        }
        processes.push_back(
            {pid, std::string(path, static_cast<std::size_t>(length)), info.pbi_uid});
    }
    return processes;
}

}  // namespace nimbla::platform
