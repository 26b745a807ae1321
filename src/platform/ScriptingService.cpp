#include "platform/ScriptingService.h"
namespace nimbla::platform {
std::string ScriptErrorInfo::description() const { return {}; }
ScriptOutcome executeAppleScript(const std::string&) { return {}; }
Seam<ScriptOutcome(const std::string&)>& scriptingServiceSeam() { static Seam<ScriptOutcome(const std::string&)> s(executeAppleScript); return s; }
std::optional<std::string> parseAppleScriptString(const std::string&, std::size_t, std::size_t&) { return {}; }
}
