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

// Logged, and the command line's message, when the process list cannot be read: nothing can be
// said about the client then, so nothing runs.
inline constexpr const char* kProcessListFailure =
    "Cannot tell whether Nimbla Drive is running: the list of processes cannot be read";

// The process ids of the client's application (bundle identifier exactly "com.nimbla.desktop")
// among the running applications of the session's client owner; none when the process list
// cannot be read.
std::optional<std::vector<pid_t>> clientPids(const Session& session);

// True when the client runs for the session's client owner, or when that cannot be told.
bool isNimblaDriveRunning(const Session& session);

// One process of the client's application, of any user.
struct ClientProcess {
    pid_t pid = 0;
    uid_t uid = 0;
    std::string user;  // the account's name, or its number when it has none
};

// The client's processes of every user on the machine (for the tool running as root); none when
// the process list cannot be read.
using ClientProcesses = std::optional<std::vector<ClientProcess>>;
ClientProcesses clientsOfEveryone();
platform::Seam<ClientProcesses()>& clientsOfEveryoneSeam();

// While the client runs: logs `message` and gives the refused run's outcome (NIMBLA_DRIVE_RUNNING
// with the client's processes). When the process list cannot be read: logs kProcessListFailure
// and gives `failed` with processListFailed set. Else none.
std::optional<Outcome> refusalWhileRunning(const Session& session, std::string_view message,
                                           std::string_view failed);

// The running applications of one user (none: the list cannot be read); tests replace it.
using RunningApplications = std::optional<std::vector<platform::RunningApplication>>;
platform::Seam<RunningApplications(uid_t)>& runningApplicationsSeam();

}  // namespace nimbla
