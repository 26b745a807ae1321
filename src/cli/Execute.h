#pragma once

#include <functional>
#include <string_view>

#include "cli/LogCopy.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "cli/RunLock.h"
#include "cli/Target.h"
#include "process/Session.h"

namespace nimbla::cli {

// A real reset or uninstall for the target: holds the user's lock for the whole run, refuses an
// uninstall as root while another user's client runs, then asks the client to quit when told to,
// runs the workflow with `session` (its log also going to the --log `copy`, when there is one)
// until done or interrupted, looks for what an uninstall left, reopens a client it quit when told
// to (whatever the outcome), and fills the report with what it did. Returns the exit status; a run
// that ended early has the report's error set.
int execute(Session& session, LogDestination& log, const Options& options, const Target& target,
            const Output& output, Report& report, LogCopy* copy);

// Why `lock` is not this run's: another run holds it, or a command an earlier run started (one
// killed outright) still runs.
std::string lockedMessage(const RunLock& lock, const std::string& user);

// What the privileged runner's message becomes: one path a line on standard output, or nothing
// with --quiet (the --log lines keep it).
std::function<void(std::string_view)> privilegedMessageFor(const Output& output);

// The administrator script's output for the --log copy, line by line (the scripting service joins
// them with "\r"), each line prefixed "Administrator script: ".
std::string administratorLines(std::string_view output);

}  // namespace nimbla::cli
