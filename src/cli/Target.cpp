#include "cli/Target.h"

#include "platform/Users.h"

namespace nimbla::cli {

Accounts Accounts::system() {
    return {[](const std::string& name) { return platform::lookUpUser(name); },
            [](uid_t uid) { return platform::lookUpUser(uid); }, platform::consoleUser};
}

std::variant<Target, Refusal> chooseTarget(const Options& options, uid_t realUid,
                                           uid_t effectiveUid, const Accounts& accounts) {
    const bool root = effectiveUid == 0;
    std::optional<platform::RunAs> user;
    if (options.user) {
        user = accounts.byName(*options.user);
        if (!user) {
            return Refusal{kExitCannotRun, "NO_SUCH_USER", "no such user: " + *options.user};
        }
        if (!root && user->uid != realUid) {
            return Refusal{kExitCannotRun, "NEEDS_ROOT",
                           "--user " + *options.user + " needs root (run it with sudo)"};
        }
    } else if (root) {
        user = accounts.console();
        if (!user) {
            return Refusal{kExitCannotRun, "NO_CONSOLE_USER",
                           "nobody is logged in at the console; name the user with --user"};
        }
    } else {
        user = accounts.byUid(realUid);
        if (!user) {
            return Refusal{kExitCannotRun, "NO_SUCH_USER",
                           "the user database has no entry for uid " + std::to_string(realUid)};
        }
    }
    const bool runAsUser = root && user->uid != 0;
    return Target{std::move(*user), runAsUser};
}

}  // namespace nimbla::cli
