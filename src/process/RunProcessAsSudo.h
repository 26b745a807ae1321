#pragma once

#include <string>

#include "platform/Seam.h"
#include "process/Session.h"

namespace nimbla {

// Runs `commandLine` (a shell command line, any characters) with administrator rights through
// the scripting service, as platform::administratorScriptSource(commandLine). `program`, when not
// empty, is the file the tool ships that the command line runs: root runs it only when it and
// every folder above it are root's and nobody else may change them (platform/Trust.h); otherwise
// nothing runs, the step ends not started with the reason, it is logged as
// "Not running <program> as root: <reason>" and the call returns false. Logs to the session's log
// "sudo script completed with error info: <description> and output: <result>" on failure and
// returns false; on success prints "sudo script completed successfully!\n<result>\n" to stdout (a
// reader that has gone away does not end the tool), or hands it to the session's
// privilegedMessage when it has one, and returns true.
bool runProcessAsSudo(const Session& session, const std::string& commandLine,
                      const std::string& program = {});

// The description runProcessAsSudo gives its step (it logs nothing under it).
inline constexpr const char* kSudoStepDescription = "Running the administrator script";

// The seam through which the workflows run it; the default is runProcessAsSudo.
using RunProcessAsSudoFn = bool(const Session&, const std::string&, const std::string&);
platform::Seam<RunProcessAsSudoFn>& runProcessAsSudoSeam();

}  // namespace nimbla
