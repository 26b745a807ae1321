#pragma once

#include <string>

#include "platform/ChildProcess.h"
#include "platform/ScriptOutcome.h"
#include "platform/ScriptStatement.h"
#include "platform/Seam.h"

namespace nimbla::platform {

// The privileged runner. The tool hands it the one statement of ScriptStatement.h, built by
// administratorScriptSource, and executeAppleScript runs that statement and nothing else
// (anything else is a syntax error, -2741): through /bin/sh -c when the tool is already root;
// otherwise, after the system asked the user for an administrator's password, through
// /usr/bin/osascript on macOS, and through pkexec elsewhere (a stand-in). The user's cancel is
// -128. The command line runs with standard input /dev/null and PATH /usr/bin:/bin:/usr/sbin:/sbin,
// never an inherited one. `watch`, when given, is told of the process it starts (the shell, or the
// program that asks first) and of 0 once it ended, so that a run can be interrupted there too.
ScriptOutcome executeAppleScript(const std::string& source, const ChildWatch* watch = nullptr);
Seam<ScriptOutcome(const std::string&, const ChildWatch*)>& scriptingServiceSeam();

}  // namespace nimbla::platform
