#include "platform/os/ScriptingService.h"

namespace nimbla::platform {

namespace {

constexpr const char* kOsascript = "/usr/bin/osascript";

}  // namespace

// osascript runs the statement itself; `with administrator privileges` makes the system ask for
// an administrator's password first. Its standard input is /dev/null (nothing is read from it),
// and it starts with the system's PATH, never an inherited one.
ScriptOutcome os::runWithAuthorization(const std::string& source, const std::string&,
                                       const ChildWatch* watch) {
    return osascriptOutcome(runChild(kOsascript, {"-e", source}, ChildInput::Null, nullptr,
                                     ChildEnvironment::SystemPath, watch));
}

}  // namespace nimbla::platform
