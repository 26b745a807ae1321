#include "platform/ScriptOutcome.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

namespace nimbla::platform {

namespace {

constexpr long kSyntaxError = -2741;
constexpr long kUserCanceled = -128;
constexpr long kUnknownError = -2700;
constexpr int kPkexecDismissed = 126;

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
    return scriptError(launchError == ENOENT ? 127 : 126,
                       "Cannot start " + program + ": " + std::strerror(launchError));
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

ScriptOutcome scriptError(long number, const std::string& message) {
    ScriptErrorInfo info;
    info.entries["NSAppleScriptErrorNumber"] = number;
    info.entries["NSAppleScriptErrorMessage"] = message;
    info.entries["NSAppleScriptErrorBriefMessage"] = message;
    return ScriptOutcome{std::nullopt, std::move(info)};
}

ScriptOutcome syntaxError(const std::string& message, std::size_t location, std::size_t length) {
    ScriptOutcome outcome = scriptError(kSyntaxError, message);
    outcome.error->entries["NSAppleScriptErrorRange"] =
        "NSRange: {" + std::to_string(location) + ", " + std::to_string(length) + "}";
    return outcome;
}

ScriptOutcome userCanceled() {
    return scriptError(kUserCanceled, "User canceled.");
}

ScriptOutcome shellCommandOutcome(const std::string& program, const ChildOutput& captured) {
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
        return scriptError(status, message);
    }
    ScriptOutcome outcome;
    if (!captured.out.empty()) {
        outcome.result = shellScriptText(captured.out);
    }
    return outcome;
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
    return scriptError(number, message);
}

ScriptOutcome pkexecOutcome(const ChildOutput& pkexec) {
    if (pkexec.exitedNormally && pkexec.exitStatus == kPkexecDismissed) {
        return userCanceled();
    }
    return shellCommandOutcome("/usr/bin/pkexec", pkexec);
}

}  // namespace nimbla::platform
