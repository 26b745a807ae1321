#pragma once

// Checks, independently of how the tool builds it, that the privileged command for a path comes
// back whole: the script source parses as one AppleScript string literal followed by the fixed
// ending, and a POSIX shell would split the command line into exactly "sudo" and the path, with
// nothing left that it would expand, redirect or run. Shared by the libFuzzer target and by the
// random-corpus test that also runs under the sanitizer builds.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "operations/Uninstall.h"
#include "platform/ScriptingService.h"
#include "process/RunProcess.h"

namespace nimbla::roundtrip {

// The words a POSIX shell makes of `line` when that line holds only plain characters, quoted
// text and blanks; nothing when it holds anything the shell would act on (expansion, globbing,
// redirection, a second command, a comment, an unfinished quote).
inline std::optional<std::vector<std::string>> shellWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            word.append(line.substr(i + 1, close - i - 1));
            i = close;
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 >= line.size() || line[i + 1] == '\n') {
                return std::nullopt;  // a line continuation would join lines
            }
            word += line[++i];
            inWord = true;
        } else if (std::string_view("\n\"$`;&|<>()*?[#~=%{}!").find(c) != std::string_view::npos) {
            return std::nullopt;  // the shell would act on it; the builder never leaves one bare
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// Empty when the round trip holds for `path`, else what went wrong.
inline std::string checkPrivilegedCommand(const std::string& path) {
    static const std::string kStart = "do shell script ";
    static const std::string kEnd = " with administrator privileges";
    const std::string source = sudoScriptSource(privilegedCommandFor(path));
    if (source.size() < kStart.size() + kEnd.size() || source.compare(0, kStart.size(), kStart) ||
        source.compare(source.size() - kEnd.size(), kEnd.size(), kEnd)) {
        return "the source lost its fixed beginning or end";
    }
    if (source.find('\n') != std::string::npos || source.find('\r') != std::string::npos) {
        return "the statement does not stay on one line";
    }
    std::size_t end = 0;
    const std::optional<std::string> command =
        platform::parseAppleScriptString(source, kStart.size(), end);
    if (!command) {
        return "the string literal does not parse";
    }
    if (end != source.size() - kEnd.size()) {
        return "the string literal ends early, at " + std::to_string(end);
    }
    const auto words = shellWords(*command);
    if (!words) {
        return "the shell would act on part of: " + *command;
    }
    if (*words != std::vector<std::string>{"sudo", path}) {
        return "the shell would run something else: " + *command;
    }
    return {};
}

// The parser on any text from any position: never reads outside it, and reports a sane end.
inline std::string checkParserOn(const std::string& source, std::size_t pos) {
    std::size_t end = static_cast<std::size_t>(-1);
    const std::optional<std::string> text = platform::parseAppleScriptString(source, pos, end);
    if (end > source.size()) {
        return "end lies outside the text";
    }
    if (text && (pos >= source.size() || source[pos] != '"' || end < pos + 2 ||
                 text->size() + 2 > end - pos)) {
        return "a literal was parsed where there is none";
    }
    return {};
}

}  // namespace nimbla::roundtrip
