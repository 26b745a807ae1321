#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "operations/Plan.h"
#include "platform/Seam.h"
#include "platform/Workspace.h"
#include "process/Session.h"

// NimblaDriveUtils: whether the client runs, for whom, and the refusal while it does.
namespace nimbla {

inline constexpr const char* kNimblaBundleIdentifier = "com.nimbla.desktop";

// The process ids of the client's application (bundle identifier exactly "com.nimbla.desktop")
// among the running applications of the session's client owner.
std::vector<pid_t> clientPids(const Session& session);

// True when the client runs for the session's client owner.
bool isNimblaDriveRunning(const Session& session);

// One process of the client's application, of any user.
struct ClientProcess {
    pid_t pid = 0;
    uid_t uid = 0;
    std::string user;  // the account's name, or its number when it has none
};

// The client's processes of every user on the machine (for the tool running as root).
std::vector<ClientProcess> clientsOfEveryone();
platform::Seam<std::vector<ClientProcess>()>& clientsOfEveryoneSeam();

// While the client runs: logs `message` and gives the refused run's outcome (NIMBLA_DRIVE_RUNNING
// with the client's processes); else none.
std::optional<Outcome> refusalWhileRunning(const Session& session, std::string_view message);

// The running applications of one user; tests replace it.
platform::Seam<std::vector<platform::RunningApplication>(uid_t)>& runningApplicationsSeam();

}  // namespace nimbla
