#include "operations/NimblaDriveUtils.h"

#include "operations/Outcomes.h"
#include "platform/Users.h"

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

std::optional<Outcome> refusalWhileRunning(const Session& session, std::string_view message) {
    std::vector<pid_t> running = clientPids(session);
    if (running.empty()) {
        return std::nullopt;
    }
    log(session, message);
    Outcome refused;
    refused.name = outcomes::nimblaDriveRunning;
    refused.clientPids = std::move(running);
    return refused;
}

std::vector<ClientProcess> clientsOfEveryone() {
    return clientsOfEveryoneSeam()();
}

platform::Seam<std::vector<ClientProcess>()>& clientsOfEveryoneSeam() {
    static auto* const seam = new platform::Seam<std::vector<ClientProcess>()>([] {
        std::vector<ClientProcess> clients;
        for (const auto& [uid, application] : platform::runningApplicationsOfEveryone()) {
            if (application.bundleIdentifier == kNimblaBundleIdentifier) {
                const auto account = platform::lookUpUser(uid);
                clients.push_back(
                    {application.pid, uid, account ? account->user : std::to_string(uid)});
            }
        }
        return clients;
    });
    return *seam;
}

platform::Seam<std::vector<platform::RunningApplication>(uid_t)>& runningApplicationsSeam() {
    static auto* const seam = new platform::Seam<std::vector<platform::RunningApplication>(uid_t)>(
        platform::runningApplicationsOf);
    return *seam;
}

}  // namespace nimbla
