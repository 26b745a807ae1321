#include <sys/sysctl.h>

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

}  // namespace nimbla::platform
