#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/Options.h"
#include "platform/ChildProcess.h"

namespace nimbla::cli {

// Whose client a run is for.
struct Target {
    platform::RunAs user;  // home, name and ids from the user database
    // The tool runs as root for that user (root included): every command of theirs runs as them,
    // with their identity and an environment built from the user database, and what is written
    // in their folders belongs to them.
    bool runAsUser = false;
};

// Why a run cannot go ahead as asked: its exit status, a code for the JSON and one line.
struct Refusal {
    int exitCode = kExitCannotRun;
    std::string code;  // USAGE, NO_SUCH_USER, NO_CONSOLE_USER, ...
    std::string message;
};

// What the command line takes from the process and the machine it runs on: the tool's user ids
// and how accounts are found. The system's asks the user database and the console; tests give
// their own.
struct Context {
    uid_t realUid = 0;
    uid_t effectiveUid = 0;
    std::function<std::optional<platform::RunAs>(const std::string&)> userNamed;
    std::function<std::optional<platform::RunAs>(uid_t)> userWithId;
    std::function<std::optional<platform::RunAs>()> consoleUser;
    // True when `home` is an existing folder (not a link) owned by `uid`.
    std::function<bool(const std::string& home, uid_t uid)> isOwnHome;
    // Every account of the user database.
    std::function<std::vector<platform::RunAs>()> accounts;
    static Context ofThisProcess();
};

// The lowest user id of a person's account; below it are the system's service accounts (which
// own the console during enrolment, say).
inline constexpr uid_t kFirstPersonUid = 500;

// Chooses the target: --user NAME (a person's account, uid 500 or above; another user's only for
// root), else as root the person at the console, else the tool's own user; whoever it is must
// have a home folder of their own.
std::variant<Target, Refusal> chooseTarget(const Options& options, const Context& context);

// The refusal's code when nobody is at the console.
inline constexpr const char* kNoConsoleUser = "NO_CONSOLE_USER";

}  // namespace nimbla::cli
