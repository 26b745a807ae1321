#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/Seam.h"

namespace nimbla::platform {

// Error information as the scripting service reports it: NSAppleScriptErrorNumber,
// NSAppleScriptErrorMessage, NSAppleScriptErrorBriefMessage, NSAppleScriptErrorRange, ...
struct ScriptErrorInfo {
    std::map<std::string, std::variant<long, std::string>> entries;
    // The dictionary description form, keys sorted:
    // {\n    NSAppleScriptErrorMessage = "User canceled.";\n    NSAppleScriptErrorNumber = -128;\n}
    std::string description() const;
};

struct ScriptOutcome {
    std::optional<std::string> result;     // the result's text value, if any
    std::optional<ScriptErrorInfo> error;  // present exactly when the execution failed
};

// Compiles and runs an AppleScript source. Off macOS a stand-in that understands exactly
//   do shell script "<string literal>" with administrator privileges
// and runs the command line through /bin/sh -c as root (directly when already root, else via
// pkexec). Anything else is a syntax error (-2741).
ScriptOutcome executeAppleScript(const std::string& source);
Seam<ScriptOutcome(const std::string&)>& scriptingServiceSeam();

// Parses an AppleScript string literal starting at source[pos] (which must be '"'): \" \\ \n \r
// \t are the only escapes. On success returns the text and sets `end` past the closing quote; on
// failure (no opening quote, another escape, no closing quote) returns nothing and sets `end` to
// the offset of the offending character (source.size() for a literal that is never closed).
std::optional<std::string> parseAppleScriptString(const std::string& source, std::size_t pos,
                                                  std::size_t& end);

}  // namespace nimbla::platform
