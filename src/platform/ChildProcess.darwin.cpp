#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/os/ChildProcess.h"

namespace nimbla::platform {

namespace {

constexpr const char* kLaunchctl = "/bin/launchctl";
constexpr const char* kSudo = "/usr/bin/sudo";

bool setCloseOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    return flags >= 0 && ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC) == 0;
}

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) >= 0;
}

}  // namespace

// macOS has no pipe2: the flag is set right after. Another thread spawning in between cannot
// pass these ends on, since every child here starts with POSIX_SPAWN_CLOEXEC_DEFAULT.
int os::makePipe(int ends[2]) {
    if (::pipe(ends) != 0) {
        return errno;
    }
    if (!setCloseOnExec(ends[0]) || !setCloseOnExec(ends[1])) {
        const int error = errno;
        ::close(ends[0]);
        ::close(ends[1]);
        return error;
    }
    return 0;
}

int os::spawnChild(const SpawnRequest& request, pid_t& pid) {
    // As another user: the user's own launch context, then sudo for the ids, groups and HOME;
    // the working directory is set before, and both pass it on, as they pass on the environment
    // built for the user.
    std::string program = request.path;
    std::vector<std::string> programArguments = request.arguments;
    if (request.runAs) {
        const std::string uid = std::to_string(request.runAs->uid);
        program = kLaunchctl;
        programArguments = {"asuser", uid, kSudo, "-u", "#" + uid, "-H", "--", request.path};
        programArguments.insert(programArguments.end(), request.arguments.begin(),
                                request.arguments.end());
    }
    std::vector<char*> argv;
    if (const int error = makeArgv(program, programArguments, argv); error != 0) {
        return error;
    }
    // With POSIX_SPAWN_CLOEXEC_DEFAULT the child gets only the descriptors named here; as another
    // user, or when asked, it starts a session of its own, without the tool's controlling
    // terminal.
    const bool session = request.runAs || request.ownSession;
    const short flags =
        static_cast<short>(POSIX_SPAWN_CLOEXEC_DEFAULT | (session ? POSIX_SPAWN_SETSID : 0));
    SpawnSetup setup(request.input, request.outFd, request.errFd, flags);
    if (request.input == ChildInput::Inherit && isOpen(STDIN_FILENO)) {
        setup.addAction([](auto* actions) {
            return posix_spawn_file_actions_addinherit_np(actions, STDIN_FILENO);
        });
    }
    if (request.runAs) {
        if (request.runAs->home.find('\0') != std::string::npos) {
            setup.fail(EINVAL);
        }
        const char* home = request.runAs->home.c_str();
        setup.addAction(
            [home](auto* actions) { return posix_spawn_file_actions_addchdir_np(actions, home); });
    }
    return setup.spawn(program, argv.data(), request.environment, pid);
}

}  // namespace nimbla::platform
