#pragma once

#include <sys/types.h>

#include <atomic>
#include <string>
#include <vector>

#include "cli/LogCopy.h"
#include "cli/Report.h"
#include "operations/NimblaDriveUtils.h"
#include "platform/ChildProcess.h"
#include "process/Session.h"

namespace nimbla::cli {

// The Apple event that asks the client to quit, as osascript sends it.
inline constexpr const char* kOsascript = "/usr/bin/osascript";
inline constexpr const char* kQuitScript = "tell application id \"com.nimbla.desktop\" to quit";

// What asking the client to quit did: a record per process asked, and a line per process (and
// for the Apple event) for the --log file.
struct ClientQuit {
    std::vector<QuitRecord> quits;
    std::string lines;
};

// Asks the client's processes `pids` (the session's user's) to quit the way the Mac asks an app:
// first the Apple event, sent by osascript as the session's user in their login session (started
// as every step for the user starts, so on macOS through `launchctl asuser`); then, after about
// half of `seconds`, SIGTERM to each process still running; then waits out the rest. With 0 it
// sends both at once and waits for neither. Stops waiting once the session is interrupted. Which
// processes still run, the session's running-client check says.
ClientQuit askClientToQuit(const Session& session, const std::vector<pid_t>& pids, int seconds);

// Asks every account's client to quit as a run for that account asks it (askClientToQuit), every
// account at once, and waits up to `seconds`; a client of no person's account is sent SIGTERM.
// Records each process asked in the report, and the lines for the --log `copy`. The clients still
// running afterwards.
std::vector<ClientProcess> askEveryClientToQuit(const std::vector<platform::RunAs>& accounts,
                                                int seconds, const std::atomic<int>& interruption,
                                                LogCopy* copy, Report& report);

}  // namespace nimbla::cli
