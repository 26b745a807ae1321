#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/ChildProcess.h"

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

// A failure with `number` and `message` (as message and brief message).
ScriptOutcome scriptError(long number, const std::string& message);
// A syntax error (-2741) with the range of the offending text.
ScriptOutcome syntaxError(const std::string& message, std::size_t location, std::size_t length);
// The user dismissed the request for an administrator's password (-128, "User canceled.").
ScriptOutcome userCanceled();

// A shell command's outcome as `do shell script` gives it: its standard output with line ends
// turned into "\r" and one trailing line end dropped; or, for a non-zero exit status (128 + the
// signal for one that ended by a signal), that status with its standard error as the message.
// `program` names what could not be started, when it was not.
ScriptOutcome shellCommandOutcome(const std::string& program, const ChildOutput& captured);

// What osascript reported, as the scripting service reports it: on success its output without
// the line feed it adds (none when empty); on failure the number and message of its error line
// "<where>: execution error: MESSAGE (NUMBER)", or -2700 and the whole text when it has another
// shape.
ScriptOutcome osascriptOutcome(const ChildOutput& osascript);

// What `pkexec /bin/sh -c ...` reported: the user's cancel when the prompt was dismissed (pkexec
// exits with 126), else as shellCommandOutcome.
ScriptOutcome pkexecOutcome(const ChildOutput& pkexec);

}  // namespace nimbla::platform
