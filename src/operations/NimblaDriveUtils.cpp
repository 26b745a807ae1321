#include "operations/NimblaDriveUtils.h"

#include "operations/Outcomes.h"
#include "platform/Users.h"

namespace nimbla {

std::optional<std::vector<pid_t>> clientPids(const Session& session) {
    const RunningApplications applications = runningApplicationsSeam()(session.clientOwner);
    if (!applications) {
        return std::nullopt;
    }
    std::vector<pid_t> pids;
    for (const platform::RunningApplication& application : *applications) {
        if (application.bundleIdentifier &&
            *application.bundleIdentifier == kNimblaBundleIdentifier) {
            pids.push_back(application.pid);
        }
    }
    return pids;
}

bool isNimblaDriveRunning(const Session& session) {
    const std::optional<std::vector<pid_t>> pids = clientPids(session);
    return !pids || !pids->empty();
}

std::optional<Outcome> refusalWhileRunning(const Session& session, std::string_view message,
                                           std::string_view failed) {
    std::optional<std::vector<pid_t>> running = clientPids(session);
    if (running && running->empty()) {
        return std::nullopt;
    }
    Outcome refused;
    if (!running) {
        log(session, kProcessListFailure);
        refused.name = failed;
        refused.processListFailed = true;
        return refused;
    }
    log(session, message);
    refused.name = outcomes::nimblaDriveRunning;
    refused.clientPids = std::move(*running);
    return refused;
}

ClientProcesses clientsOfEveryone() {
    return clientsOfEveryoneSeam()();
}

platform::Seam<ClientProcesses()>& clientsOfEveryoneSeam() {
    static auto* const seam = new platform::Seam<ClientProcesses()>([]() -> ClientProcesses {
        const auto everyone = platform::runningApplicationsOfEveryone();
        if (!everyone) {
            return std::nullopt;
        }
        std::vector<ClientProcess> clients;
        for (const auto& [uid, application] : *everyone) {
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

platform::Seam<RunningApplications(uid_t)>& runningApplicationsSeam() {
    static auto* const seam =
        new platform::Seam<RunningApplications(uid_t)>(platform::runningApplicationsOf);
    return *seam;
}

}  // namespace nimbla
