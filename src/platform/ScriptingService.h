#pragma once

#include <string>

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
// never an inherited one.
ScriptOutcome executeAppleScript(const std::string& source);
Seam<ScriptOutcome(const std::string&)>& scriptingServiceSeam();

}  // namespace nimbla::platform
