#include "platform/ProcessGroup.h"

#include "platform/os/ProcessGroup.h"

#include <signal.h>

#include <cerrno>

namespace nimbla::platform {

ProcessGroupRecord recordOfGroup(pid_t group) {
    return {group, os::processStart(group).value_or(0)};
}

bool stillHasMembers(const ProcessGroupRecord& group) {
    if (group.id <= 1 || (::kill(-group.id, 0) != 0 && errno != EPERM) ||
        !os::groupHasLiveMember(group.id)) {
        return false;
    }
    if (group.leaderStart == 0) {
        return true;
    }
    const std::optional<std::uint64_t> leaderStart = os::processStart(group.id);
    return !leaderStart || *leaderStart == group.leaderStart;
}

bool signalGroup(pid_t group, int signal) {
    return group > 1 && ::kill(-group, signal) == 0;
}

}  // namespace nimbla::platform
