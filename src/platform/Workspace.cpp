#include "platform/Workspace.h"
namespace nimbla::platform {
std::vector<RunningApplication> runningApplications() { return {}; }
std::optional<std::string> bundleIdentifierForExecutable(const std::string&) { return {}; }
}
