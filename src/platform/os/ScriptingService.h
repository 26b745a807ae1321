#pragma once

// Implemented once per system, in ScriptingService.<os>.cpp. Internal to the platform layer.

#include <string>

#include "platform/ChildProcess.h"
#include "platform/ScriptOutcome.h"

namespace nimbla::platform::os {

// Runs `command` (a shell command line) with administrator rights after the system asked the
// user, for the tool running without them; `source` is the AppleScript statement that says so.
// `watch` as for executeAppleScript.
ScriptOutcome runWithAuthorization(const std::string& source, const std::string& command,
                                   const ChildWatch* watch);

}  // namespace nimbla::platform::os
