#include "operations/RunningClient.h"

namespace nimbla {

std::vector<pid_t> clientPids(const Session& session) {
    std::vector<pid_t> pids;
    for (const platform::RunningApplication& application :
         runningApplicationsSeam()(session.clientOwner)) {
        if (application.bundleIdentifier &&
            *application.bundleIdentifier == kNimblaBundleIdentifier) {
            pids.push_back(application.pid);
        }
    }
    return pids;
}

bool isNimblaDriveRunning(const Session& session) {
    return !clientPids(session).empty();
}

platform::Seam<std::vector<platform::RunningApplication>(uid_t)>& runningApplicationsSeam() {
    static auto* const seam = new platform::Seam<std::vector<platform::RunningApplication>(uid_t)>(
        platform::runningApplicationsOf);
    return *seam;
}

}  // namespace nimbla
