#include <sys/proc.h>
#include <sys/sysctl.h>

#include <vector>

#include "platform/os/ProcessGroup.h"

namespace nimbla::platform {

// The kernel's record of the process: when it started, to the microsecond.
std::optional<std::uint64_t> os::processStart(pid_t pid) {
    int name[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    struct kinfo_proc info {};
    std::size_t size = sizeof info;
    if (::sysctl(name, 4, &info, &size, nullptr, 0) != 0 || size == 0) {
        return std::nullopt;
    }
    const struct timeval& start = info.kp_proc.p_starttime;
    return std::uint64_t(start.tv_sec) * 1000000 + std::uint64_t(start.tv_usec);
}

// The kernel's records of the group's processes; a zombie's state is SZOMB.
bool os::groupHasLiveMember(pid_t group) {
    int name[] = {CTL_KERN, KERN_PROC, KERN_PROC_PGRP, group};
    std::size_t size = 0;
    if (::sysctl(name, 4, nullptr, &size, nullptr, 0) != 0) {
        return true;  // cannot tell: it may still run
    }
    std::vector<struct kinfo_proc> processes(size / sizeof(struct kinfo_proc) + 8);
    size = processes.size() * sizeof(struct kinfo_proc);
    if (::sysctl(name, 4, processes.data(), &size, nullptr, 0) != 0) {
        return true;
    }
    processes.resize(size / sizeof(struct kinfo_proc));
    for (const struct kinfo_proc& process : processes) {
        if (process.kp_proc.p_stat != SZOMB) {
            return true;
        }
    }
    return false;
}

}  // namespace nimbla::platform
