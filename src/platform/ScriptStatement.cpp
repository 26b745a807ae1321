#include "platform/ScriptStatement.h"

#include <string_view>

namespace nimbla::platform {

namespace {

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

// Why a literal did not parse: the offset of the offending character, and whether it was never
// closed.
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

// Takes the words of `phrase` at `pos`, blanks after each; false with `failure` set otherwise.
bool takePhrase(const std::string& source, std::size_t& pos,
                std::initializer_list<std::string_view> phrase, ScriptOutcome& failure) {
    std::string whole;
    for (std::string_view word : phrase) {
        whole += (whole.empty() ? "" : " ") + std::string(word);
    }
    for (std::string_view word : phrase) {
        if (!takeWord(source, pos, word)) {
            failure = expected(source, pos, "\"" + whole + "\"");
            return false;
        }
        skipBlanks(source, pos);
    }
    return true;
}

}  // namespace

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

std::optional<std::string> parseAppleScriptString(const std::string& source, std::size_t pos,
                                                  std::size_t& end) {
    LiteralError error;
    std::optional<std::string> text = parseLiteral(source, pos, end, error);
    if (!text) {
        end = error.at;
    }
    return text;
}

std::optional<std::string> commandLineOfStatement(const std::string& source,
                                                  ScriptOutcome& failure) {
    std::size_t pos = 0;
    while (pos < source.size() && isSpace(source[pos])) {
        ++pos;
    }
    if (!takePhrase(source, pos, {"do", "shell", "script"}, failure)) {
        return std::nullopt;
    }
    LiteralError error;
    std::size_t end = pos;
    std::optional<std::string> command = parseLiteral(source, pos, end, error);
    if (!command) {
        if (error.unterminated) {
            failure = syntaxError("Expected \"\"\" but found end of script.", source.size(), 0);
        } else if (error.at == pos) {
            failure = expected(source, pos, "\"\"\"");
        } else {
            failure = syntaxError("Expected \"\"\" but found unknown token.", error.at, 2);
        }
        return std::nullopt;
    }
    if (command->find('\0') != std::string::npos) {
        failure = syntaxError("Expected \"\"\" but found unknown token.", pos, end - pos);
        return std::nullopt;
    }
    pos = end;
    skipBlanks(source, pos);
    if (!takePhrase(source, pos, {"with", "administrator", "privileges"}, failure)) {
        return std::nullopt;
    }
    while (pos < source.size() && isSpace(source[pos])) {
        ++pos;
    }
    if (pos != source.size()) {
        failure = expected(source, pos, "end of line");
        return std::nullopt;
    }
    return command;
}

}  // namespace nimbla::platform
