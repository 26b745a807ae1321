#include "platform/Primitives.h"

namespace nimbla::platform {

namespace {

constexpr const char* kShell = "/bin/sh";
constexpr const char* kPkexec = "/usr/bin/pkexec";
constexpr int kPkexecDismissed = 126;

}  // namespace

// No AppleScript here: pkexec asks for authorisation (through the desktop's polkit agent), then
// runs the command line as `do shell script` would.
ScriptOutcome os::runWithAuthorization(const std::string&, const std::string& command) {
    // Standard input from /dev/null: the command runs unattended.
    const ChildOutput captured = runChild(kPkexec, {kShell, "-c", command}, ChildInput::Null);
    if (captured.exitedNormally && captured.exitStatus == kPkexecDismissed) {
        return userCanceled();
    }
    return shellCommandOutcome(kPkexec, captured);
}

}  // namespace nimbla::platform
