#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "cli/Report.h"
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

}  // namespace nimbla::cli
