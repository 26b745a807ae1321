#include "platform/ScriptingService.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Primitives.h"

// The privileged runner. The tool sends one statement,
//   do shell script "<string literal>" with administrator privileges
// built here from a shell command line, and parsed back here. Already root, the command line
// runs through /bin/sh -c directly, as `do shell script` does: its standard output becomes the
// result (line ends turned into "\r", one trailing line end dropped), and a non-zero exit becomes
// error information carrying the exit status and the command's standard error. Otherwise the
// system asks the user first (runWithAuthorization in ScriptingService.<os>.cpp).

namespace nimbla::platform {

namespace {

constexpr long kSyntaxError = -2741;
constexpr long kUserCanceled = -128;
constexpr long kUnknownError = -2700;
constexpr const char* kShell = "/bin/sh";

ScriptErrorInfo errorInfo(long number, const std::string& message) {
    ScriptErrorInfo info;
    info.entries["NSAppleScriptErrorNumber"] = number;
    info.entries["NSAppleScriptErrorMessage"] = message;
    info.entries["NSAppleScriptErrorBriefMessage"] = message;
    return info;
}

ScriptOutcome syntaxError(const std::string& message, std::size_t location, std::size_t length) {
    ScriptErrorInfo info = errorInfo(kSyntaxError, message);
    info.entries["NSAppleScriptErrorRange"] =
        "NSRange: {" + std::to_string(location) + ", " + std::to_string(length) + "}";
    return ScriptOutcome{std::nullopt, std::move(info)};
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isSpace(char c) {
    return isBlank(c) || c == '\n' || c == '\r';
}
bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// What the scanner found at `pos`, for error messages: "end of script", "end of line", a quoted
// word, or "unknown token".
std::string describeToken(const std::string& source, std::size_t pos, std::size_t& length) {
    length = 0;
    if (pos >= source.size()) {
        return "end of script";
    }
    if (source[pos] == '\n' || source[pos] == '\r') {
        length = 1;
        return "end of line";
    }
    if (source[pos] == '"') {
        length = 1;
        return "\"\"\"";
    }
    std::size_t end = pos;
    while (end < source.size() && isWordChar(source[end])) {
        ++end;
    }
    if (end == pos) {
        length = 1;
        return "unknown token";
    }
    length = end - pos;
    return "\"" + source.substr(pos, length) + "\"";
}

// Line ends of the command's output as `do shell script` gives them: "\r\n" and "\n" become "\r",
// and one trailing line end is dropped.
std::string shellScriptText(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        text += bytes[i] == '\n' ? '\r' : bytes[i];
    }
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    return text;
}

ScriptOutcome cannotStart(const std::string& program, int launchError) {
    return ScriptOutcome{std::nullopt,
                         errorInfo(launchError == ENOENT ? 127 : 126,
                                   "Cannot start " + program + ": " + std::strerror(launchError))};
}

// Splits "<kind> error: MESSAGE (NUMBER)" off the end of osascript's error line; false when the
// text has another shape.
bool splitOsascriptError(std::string_view text, long& number, std::string& message) {
    const std::size_t kind = text.find(" error: ");
    if (kind == std::string_view::npos || !text.ends_with(")")) {
        return false;
    }
    const std::string_view rest = text.substr(kind + 8);
    const std::size_t open = rest.rfind(" (");
    if (open == std::string_view::npos) {
        return false;
    }
    const std::string_view digits = rest.substr(open + 2, rest.size() - open - 3);
    const char* first = digits.data();
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (digits.empty() || error != std::errc() || end != last) {
        return false;
    }
    message = std::string(rest.substr(0, open));
    return true;
}

}  // namespace

ScriptOutcome os::shellCommandOutcome(const std::string& program, const ChildOutput& captured) {
    if (!captured.started) {
        return cannotStart(program, captured.launchError);
    }
    // The exit status, or 128 + the number of the signal that ended the command.
    int status = 1;  // neither: it could not be waited for
    if (captured.exitedNormally) {
        status = captured.exitStatus;
    } else if (captured.signal != 0) {
        status = 128 + captured.signal;
    }
    if (status != 0) {
        std::string message = shellScriptText(captured.err);
        if (message.empty()) {
            message = "The command exited with a non-zero status.";
        }
        return ScriptOutcome{std::nullopt, errorInfo(status, message)};
    }
    ScriptOutcome outcome;
    if (!captured.out.empty()) {
        outcome.result = shellScriptText(captured.out);
    }
    return outcome;
}

ScriptOutcome os::userCanceled() {
    return ScriptOutcome{std::nullopt, errorInfo(kUserCanceled, "User canceled.")};
}

ScriptOutcome osascriptOutcome(const ChildOutput& osascript) {
    if (!osascript.started) {
        return cannotStart("/usr/bin/osascript", osascript.launchError);
    }
    std::string_view out = osascript.out;
    std::string_view err = osascript.err;
    // osascript ends what it prints with one line feed.
    if (out.ends_with('\n')) {
        out.remove_suffix(1);
    }
    while (err.ends_with('\n')) {
        err.remove_suffix(1);
    }
    if (osascript.exitedWithZero()) {
        ScriptOutcome outcome;
        if (!out.empty()) {
            outcome.result = std::string(out);
        }
        return outcome;
    }
    long number = 0;
    std::string message;
    if (!splitOsascriptError(err, number, message)) {
        number = kUnknownError;
        message = err.empty() ? "osascript failed without saying why." : std::string(err);
    }
    return ScriptOutcome{std::nullopt, errorInfo(number, message)};
}

namespace {

// Why a literal did not parse: the offset of the offending character and the message.
struct LiteralError {
    std::size_t at = 0;
    bool unterminated = false;
};

std::optional<std::string> parseLiteral(const std::string& source, std::size_t pos,
                                        std::size_t& end, LiteralError& error) {
    if (pos >= source.size() || source[pos] != '"') {
        error.at = pos;
        return std::nullopt;
    }
    std::string text;
    for (std::size_t i = pos + 1; i < source.size(); ++i) {
        char c = source[i];
        if (c == '"') {
            end = i + 1;
            return text;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (i + 1 >= source.size()) {
            break;
        }
        switch (source[++i]) {
            case '"':
                text += '"';
                break;
            case '\\':
                text += '\\';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 't':
                text += '\t';
                break;
            default:
                error.at = i - 1;
                return std::nullopt;
        }
    }
    error.at = source.size();
    error.unterminated = true;
    return std::nullopt;
}

// Matches `word` at `pos` as a whole word; on success moves `pos` past it.
bool takeWord(const std::string& source, std::size_t& pos, std::string_view word) {
    if (source.compare(pos, word.size(), word) != 0) {
        return false;
    }
    std::size_t after = pos + word.size();
    if (after < source.size() && isWordChar(source[after])) {
        return false;
    }
    pos = after;
    return true;
}

void skipBlanks(const std::string& source, std::size_t& pos) {
    while (pos < source.size() && isBlank(source[pos])) {
        ++pos;
    }
}

ScriptOutcome expected(const std::string& source, std::size_t pos, const std::string& what) {
    std::size_t length = 0;
    std::string found = describeToken(source, pos, length);
    return syntaxError("Expected " + what + " but found " + found + ".", pos, length);
}

}  // namespace

std::string ScriptErrorInfo::description() const {
    std::string text = "{\n";
    for (const auto& [key, value] : entries) {
        text += "    " + key + " = ";
        if (const long* number = std::get_if<long>(&value)) {
            text += std::to_string(*number);
        } else {
            text += '"';
            for (char c : std::get<std::string>(value)) {
                if (c == '"' || c == '\\') {
                    text += '\\';
                }
                text += c;
            }
            text += '"';
        }
        text += ";\n";
    }
    text += "}";
    return text;
}

std::optional<std::string> parseAppleScriptString(const std::string& source, std::size_t pos,
                                                  std::size_t& end) {
    LiteralError error;
    std::optional<std::string> text = parseLiteral(source, pos, end, error);
    if (!text) {
        end = error.at;
    }
    return text;
}

ScriptOutcome executeAppleScript(const std::string& source) {
    std::size_t pos = 0;
    while (pos < source.size() && isSpace(source[pos])) {
        ++pos;
    }
    for (std::string_view word : {"do", "shell", "script"}) {
        if (!takeWord(source, pos, word)) {
            return expected(source, pos, "\"do shell script\"");
        }
        skipBlanks(source, pos);
    }

    LiteralError error;
    std::size_t end = pos;
    std::optional<std::string> command = parseLiteral(source, pos, end, error);
    if (!command) {
        if (error.unterminated) {
            return syntaxError("Expected \"\"\" but found end of script.", source.size(), 0);
        }
        if (error.at == pos) {
            return expected(source, pos, "\"\"\"");
        }
        return syntaxError("Expected \"\"\" but found unknown token.", error.at, 2);
    }
    if (command->find('\0') != std::string::npos) {
        // The shell cannot be handed a command line with a NUL in it; running the part before it
        // would run a different command.
        return syntaxError("Expected \"\"\" but found unknown token.", pos, end - pos);
    }
    pos = end;

    skipBlanks(source, pos);
    for (std::string_view word : {"with", "administrator", "privileges"}) {
        if (!takeWord(source, pos, word)) {
            return expected(source, pos, "\"with administrator privileges\"");
        }
        skipBlanks(source, pos);
    }
    while (pos < source.size() && isSpace(source[pos])) {
        ++pos;
    }
    if (pos != source.size()) {
        return expected(source, pos, "end of line");
    }
    if (::geteuid() == 0) {
        // Standard input from /dev/null: the command runs unattended.
        return os::shellCommandOutcome(kShell,
                                       runChild(kShell, {"-c", *command}, ChildInput::Null));
    }
    return os::runWithAuthorization(source, *command);
}

std::string shellQuoted(const std::string& word) {
    // Inside single quotes the shell takes every character literally except the quote itself,
    // which is closed, escaped and reopened.
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

std::string administratorScriptSource(const std::string& commandLine) {
    // The command line goes between the double quotes of an AppleScript string literal. Line
    // breaks are written as escapes so the statement stays on one line.
    std::string source = "do shell script \"";
    source.reserve(source.size() + commandLine.size() + 40);
    for (char c : commandLine) {
        switch (c) {
            case '\\':
                source += "\\\\";
                break;
            case '"':
                source += "\\\"";
                break;
            case '\n':
                source += "\\n";
                break;
            case '\r':
                source += "\\r";
                break;
            default:
                source += c;
        }
    }
    source += "\" with administrator privileges";
    return source;
}

Seam<ScriptOutcome(const std::string&)>& scriptingServiceSeam() {
    static Seam<ScriptOutcome(const std::string&)> seam(executeAppleScript);
    return seam;
}

}  // namespace nimbla::platform
