#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nimbla::cli {

inline constexpr const char* kProgram = "nimbla-reset";

// A usage error's message with where to read more: "<message> (see nimbla-reset --help)".
std::string withHelpHint(const std::string& message);

enum class Command { Status, Reset, Uninstall };

// What the command line asked for.
struct Options {
    Command command = Command::Status;
    std::optional<std::string> user;  // --user NAME
    bool dryRun = false;
    bool json = false;
    bool quiet = false;
    std::optional<std::string> logFile;    // --log FILE
    std::optional<int> quitClientSeconds;  // --quit-client[=SECONDS]
    bool relaunch = false;                 // --relaunch
    // Every option given, as parsed, in words for a shell: "--user", "alex", "--quit-client=10".
    std::vector<std::string> given;
    bool sizes = false;     // --sizes: status measures every folder in full
    bool allUsers = false;  // --all-users: every account (status, uninstall)
};

// The exit statuses, stable for scripts.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitClientRunning = 3,
    kExitCannotRun = 4,
};

inline constexpr int kDefaultQuitSeconds = 10;
inline constexpr int kMaxQuitSeconds = 3600;

// The parsed options, or what to print and the status to exit with instead: --help and
// --version (text for standard output, status 0), or a usage error (one line for standard error,
// status 2).
struct ParseResult {
    std::optional<Options> options;
    int exitCode = kExitSuccess;
    std::string out;
    std::string err;
};
ParseResult parseArguments(const std::vector<std::string>& arguments);

const char* commandName(Command command);

}  // namespace nimbla::cli
