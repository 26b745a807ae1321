#include "platform/ScriptingService.h"

#include <unistd.h>

#include "platform/os/ScriptingService.h"

namespace nimbla::platform {

namespace {

constexpr const char* kShell = "/bin/sh";

}  // namespace

ScriptOutcome executeAppleScript(const std::string& source, const ChildWatch* watch) {
    ScriptOutcome failure;
    const std::optional<std::string> command = commandLineOfStatement(source, failure);
    if (!command) {
        return failure;
    }
    if (::geteuid() == 0) {
        // Already root: as `do shell script` runs it, unattended.
        return shellCommandOutcome(kShell, runChild(kShell, {"-c", *command}, ChildInput::Null,
                                                    nullptr, ChildEnvironment::SystemPath, watch));
    }
    return os::runWithAuthorization(source, *command, watch);
}

Seam<ScriptOutcome(const std::string&, const ChildWatch*)>& scriptingServiceSeam() {
    static Seam<ScriptOutcome(const std::string&, const ChildWatch*)> seam(executeAppleScript);
    return seam;
}

}  // namespace nimbla::platform
