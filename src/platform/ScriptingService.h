#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/ChildProcess.h"
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

// The privileged runner. The tool hands it a shell command line, which
// administratorScriptSource wraps as the one statement
//   do shell script "<the command line as a string literal>" with administrator privileges
// and executeAppleScript runs that statement and nothing else (anything else is a syntax error,
// -2741): through /bin/sh -c when the tool is already root; otherwise, after the system asked
// the user for an administrator's password, through /usr/bin/osascript on macOS, and through
// pkexec elsewhere (a stand-in). The user's cancel is -128.
ScriptOutcome executeAppleScript(const std::string& source);
Seam<ScriptOutcome(const std::string&)>& scriptingServiceSeam();

// `word` quoted for a POSIX shell: between single quotes, each quote in it written '\''.
std::string shellQuoted(const std::string& word);

// The statement that runs `commandLine` with administrator rights; the command line is written
// as an AppleScript string literal (\ -> \\, " -> \", line feed -> \n, carriage return -> \r).
std::string administratorScriptSource(const std::string& commandLine);

// What osascript reported, as the scripting service reports it: on success its output without
// the line feed it adds (none when empty); on failure the number and message of its error line
// "<where>: execution error: MESSAGE (NUMBER)", or -2700 and the whole text when it has another
// shape.
ScriptOutcome osascriptOutcome(const ChildOutput& osascript);

// Parses an AppleScript string literal starting at source[pos] (which must be '"'): \" \\ \n \r
// \t are the only escapes. On success returns the text and sets `end` past the closing quote; on
// failure (no opening quote, another escape, no closing quote) returns nothing and sets `end` to
// the offset of the offending character (source.size() for a literal that is never closed).
std::optional<std::string> parseAppleScriptString(const std::string& source, std::size_t pos,
                                                  std::size_t& end);

}  // namespace nimbla::platform
