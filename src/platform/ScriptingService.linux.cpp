#include "platform/os/ScriptingService.h"

namespace nimbla::platform {

namespace {

constexpr const char* kShell = "/bin/sh";
constexpr const char* kPkexec = "/usr/bin/pkexec";

}  // namespace

// No AppleScript here: pkexec asks for authorisation (through the desktop's polkit agent), then
// runs the command line as `do shell script` would, unattended and with the system's PATH.
ScriptOutcome os::runWithAuthorization(const std::string&, const std::string& command,
                                       const ChildWatch* watch) {
    return pkexecOutcome(runChild(kPkexec, {kShell, "-c", command}, ChildInput::Null, nullptr,
                                  ChildEnvironment::SystemPath, watch));
}

}  // namespace nimbla::platform
