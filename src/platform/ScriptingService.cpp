#include "platform/ScriptingService.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

extern char** environ;

// Off macOS there is no AppleScript. This stand-in understands the one statement the tool sends,
//   do shell script "<string literal>" with administrator privileges
// and behaves as `do shell script` does: the command line runs through /bin/sh -c with root
// rights, its standard output becomes the result (line ends turned into "\r", one trailing line
// end dropped), and a non-zero exit becomes error information carrying the exit status and the
// command's standard error.

namespace nimbla::platform {

namespace {

constexpr long kSyntaxError = -2741;
constexpr long kUserCanceled = -128;
constexpr const char* kShell = "/bin/sh";
constexpr const char* kPkexec = "/usr/bin/pkexec";

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

struct Captured {
    bool launched = false;
    int launchError = 0;
    int status = 0;  // the exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// A pipe whose two ends lie above the standard descriptors, so that setting up the child's 0, 1
// and 2 never closes one of them (the tool may have been started with a standard stream closed).
bool makePipe(int ends[2]) {
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (ends[i] <= 2) {
            int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, 3);
            close(ends[i]);
            ends[i] = moved;
        }
    }
    if (ends[0] < 0 || ends[1] < 0) {
        for (int i = 0; i < 2; ++i) {
            if (ends[i] >= 0) {
                close(ends[i]);
            }
        }
        return false;
    }
    return true;
}

// Runs argv[0] (an absolute path) with standard input from /dev/null and both output streams
// captured. Both pipes are drained while the child runs; once the child has exited, a process it
// left behind holding the pipes is given one more second, then the pipes are abandoned.
Captured capture(const std::vector<std::string>& argv) {
    Captured captured;
    int outPipe[2];
    int errPipe[2];
    if (!makePipe(outPipe)) {
        captured.launchError = errno;
        return captured;
    }
    if (!makePipe(errPipe)) {
        captured.launchError = errno;
        close(outPipe[0]);
        close(outPipe[1]);
        return captured;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = 0;
    int spawnError = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawnError != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        captured.launchError = spawnError;
        return captured;
    }
    captured.launched = true;

    struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&captured.out, &captured.err};
    bool reaped = false;
    int waitStatus = 0;
    std::chrono::steady_clock::time_point deadline;
    char buffer[65536];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (!reaped) {
            pid_t done = waitpid(pid, &waitStatus, WNOHANG);
            if (done == pid) {
                reaped = true;
                deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            }
        } else if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        int ready = poll(fds, 2, 100);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (auto& fd : fds) {
        if (fd.fd >= 0) {
            close(fd.fd);
        }
    }
    while (!reaped) {
        if (waitpid(pid, &waitStatus, 0) == pid) {
            reaped = true;
        } else if (errno != EINTR) {
            break;
        }
    }
    if (WIFEXITED(waitStatus)) {
        captured.status = WEXITSTATUS(waitStatus);
    } else if (WIFSIGNALED(waitStatus)) {
        captured.status = 128 + WTERMSIG(waitStatus);
    }
    return captured;
}

ScriptOutcome runAsAdministrator(const std::string& command) {
    const bool asRoot = geteuid() == 0;
    std::vector<std::string> argv;
    if (!asRoot) {
        argv.push_back(kPkexec);
    }
    argv.insert(argv.end(), {kShell, "-c", command});

    Captured captured = capture(argv);
    if (!captured.launched) {
        return ScriptOutcome{std::nullopt, errorInfo(captured.launchError == ENOENT ? 127 : 126,
                                                     "Cannot start " + argv[0] + ": " +
                                                         std::strerror(captured.launchError))};
    }
    if (!asRoot && captured.status == 126) {
        // pkexec: the authorisation prompt was dismissed.
        return ScriptOutcome{std::nullopt, errorInfo(kUserCanceled, "User canceled.")};
    }
    if (captured.status != 0) {
        std::string message = shellScriptText(captured.err);
        if (message.empty()) {
            message = "The command exited with a non-zero status.";
        }
        return ScriptOutcome{std::nullopt, errorInfo(captured.status, message)};
    }
    ScriptOutcome outcome;
    if (!captured.out.empty()) {
        outcome.result = shellScriptText(captured.out);
    }
    return outcome;
}

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
    return runAsAdministrator(*command);
}

Seam<ScriptOutcome(const std::string&)>& scriptingServiceSeam() {
    static Seam<ScriptOutcome(const std::string&)> seam(executeAppleScript);
    return seam;
}

}  // namespace nimbla::platform
