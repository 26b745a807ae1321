#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "cli/Options.h"
#include "platform/ChildProcess.h"

namespace nimbla::cli {

// Whose client a run is for.
struct Target {
    platform::RunAs user;
    // The tool runs as root for that user: every command of theirs runs as them, and what is
    // written in their folders belongs to them.
    bool runAsUser = false;
};

// Why a run cannot go ahead as asked: its exit status, a code for the JSON and one line.
struct Refusal {
    int exitCode = kExitCannotRun;
    std::string code;  // USAGE, NO_SUCH_USER, NO_CONSOLE_USER, ...
    std::string message;
};

// How accounts are found; the defaults ask the user database and the console.
struct Accounts {
    std::function<std::optional<platform::RunAs>(const std::string&)> byName;
    std::function<std::optional<platform::RunAs>(uid_t)> byUid;
    std::function<std::optional<platform::RunAs>()> console;
    static Accounts system();
};

// Chooses the target from the options and the tool's real and effective user ids: --user NAME
// (another user's only for root), else as root the console user, else the tool's own user.
std::variant<Target, Refusal> chooseTarget(const Options& options, uid_t realUid,
                                           uid_t effectiveUid, const Accounts& accounts);

}  // namespace nimbla::cli
