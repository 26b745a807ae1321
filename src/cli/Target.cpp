#include "cli/Target.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/Users.h"

namespace nimbla::cli {

Context Context::ofThisProcess() {
    return {::getuid(),
            ::geteuid(),
            [](const std::string& name) { return platform::lookUpUser(name); },
            [](uid_t uid) { return platform::lookUpUser(uid); },
            platform::consoleUser,
            [](const std::string& home, uid_t uid) {
                struct stat st {};
                return !home.empty() && home.front() == '/' && ::lstat(home.c_str(), &st) == 0 &&
                       S_ISDIR(st.st_mode) && st.st_uid == uid;
            },
            platform::allAccounts};
}

std::variant<Target, Refusal> chooseTarget(const Options& options, const Context& context) {
    const bool root = context.effectiveUid == 0;
    std::optional<platform::RunAs> user;
    if (options.user) {
        user = context.userNamed(*options.user);
        if (!user) {
            return Refusal{kExitCannotRun, "NO_SUCH_USER", "no such user: " + *options.user};
        }
        if (!root && user->uid != context.realUid) {
            return Refusal{kExitCannotRun, "NEEDS_ROOT",
                           "--user " + *options.user + " needs root (run it with sudo)"};
        }
        if (user->uid < kFirstPersonUid) {
            return Refusal{kExitCannotRun, "SERVICE_ACCOUNT",
                           *options.user + " is a service account (uid " +
                               std::to_string(user->uid) +
                               "), not a person's; nothing to do for it"};
        }
    } else if (root) {
        user = context.consoleUser();
        if (!user || user->uid < kFirstPersonUid) {
            return Refusal{kExitCannotRun, kNoConsoleUser,
                           "nobody is logged in at the console; name the user with --user, or "
                           "every account with --all-users"};
        }
    } else {
        user = context.userWithId(context.realUid);
        if (!user) {
            return Refusal{
                kExitCannotRun, "NO_SUCH_USER",
                "the user database has no entry for uid " + std::to_string(context.realUid)};
        }
    }
    if (!context.isOwnHome(user->home, user->uid)) {
        return Refusal{kExitCannotRun, "NO_HOME",
                       user->user + " has no home folder of their own (" +
                           (user->home.empty() ? std::string("none") : user->home) +
                           "); nothing to do for them"};
    }
    return Target{std::move(*user), root};
}

}  // namespace nimbla::cli
