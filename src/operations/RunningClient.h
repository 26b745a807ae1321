#pragma once

#include <sys/types.h>

#include <vector>

#include "platform/Seam.h"
#include "platform/Workspace.h"
#include "process/Session.h"

namespace nimbla {

inline constexpr const char* kNimblaBundleIdentifier = "com.nimbla.desktop";

// The process ids of the client's application (bundle identifier exactly "com.nimbla.desktop")
// among the running applications of the session's client owner.
std::vector<pid_t> clientPids(const Session& session);

// True when the client runs for the session's client owner.
bool isNimblaDriveRunning(const Session& session);

// The running applications of one user; tests replace it.
platform::Seam<std::vector<platform::RunningApplication>(uid_t)>& runningApplicationsSeam();

}  // namespace nimbla
