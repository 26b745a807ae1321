#include "platform/ScriptingService.h"

#include <unistd.h>

#include "platform/os/ScriptingService.h"

namespace nimbla::platform {

namespace {

constexpr const char* kShell = "/bin/sh";

}  // namespace

ScriptOutcome executeAppleScript(const std::string& source) {
    ScriptOutcome failure;
    const std::optional<std::string> command = commandLineOfStatement(source, failure);
    if (!command) {
        return failure;
    }
    if (::geteuid() == 0) {
        // Already root: as `do shell script` runs it, unattended.
        return shellCommandOutcome(kShell, runChild(kShell, {"-c", *command}, ChildInput::Null,
                                                    nullptr, ChildEnvironment::SystemPath));
    }
    return os::runWithAuthorization(source, *command);
}

Seam<ScriptOutcome(const std::string&)>& scriptingServiceSeam() {
    static Seam<ScriptOutcome(const std::string&)> seam(executeAppleScript);
    return seam;
}

}  // namespace nimbla::platform
