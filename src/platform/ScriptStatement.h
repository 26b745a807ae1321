#pragma once

#include <optional>
#include <string>

#include "platform/ScriptOutcome.h"

namespace nimbla::platform {

// The one statement the privileged runner takes:
//   do shell script "<the command line as a string literal>" with administrator privileges

// The statement that runs `commandLine` with administrator rights; the command line is written
// as an AppleScript string literal (\ -> \\, " -> \", line feed -> \n, carriage return -> \r).
std::string administratorScriptSource(const std::string& commandLine);

// The command line of `source` when it is that statement (blanks between the words, line ends
// around it); otherwise nothing, and `failure` is the syntax error (-2741) AppleScript reports.
// A command line holding a NUL byte is refused too: the shell would run only the part before it.
std::optional<std::string> commandLineOfStatement(const std::string& source,
                                                  ScriptOutcome& failure);

// Parses an AppleScript string literal starting at source[pos] (which must be '"'): \" \\ \n \r
// \t are the only escapes. On success returns the text and sets `end` past the closing quote; on
// failure (no opening quote, another escape, no closing quote) returns nothing and sets `end` to
// the offset of the offending character (source.size() for a literal that is never closed).
std::optional<std::string> parseAppleScriptString(const std::string& source, std::size_t pos,
                                                  std::size_t& end);

}  // namespace nimbla::platform
