#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/Primitives.h"

extern char** environ;

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

int os::spawnChild(const std::string& path, const std::vector<std::string>& arguments,
                   ChildInput input, int outFd, int errFd, const RunAs* runAs, pid_t& pid) {
    // As another user: the user's own launch context, then sudo for the ids, groups and HOME,
    // USER and LOGNAME; the working directory is set before, and both pass it on.
    std::string program = path;
    std::vector<std::string> programArguments = arguments;
    if (runAs) {
        const std::string uid = std::to_string(runAs->uid);
        program = kLaunchctl;
        programArguments = {"asuser", uid, kSudo, "-u", "#" + uid, "-H", "--", path};
        programArguments.insert(programArguments.end(), arguments.begin(), arguments.end());
    }
    std::vector<char*> argv;
    if (const int error = makeArgv(program, programArguments, argv); error != 0) {
        return error;
    }
    posix_spawn_file_actions_t actions;
    if (const int error = posix_spawn_file_actions_init(&actions); error != 0) {
        return error;
    }
    posix_spawnattr_t attributes;
    if (const int error = posix_spawnattr_init(&attributes); error != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return error;
    }
    int error = 0;
    auto step = [&error](int result) {
        if (error == 0) {
            error = result;
        }
    };
    // With POSIX_SPAWN_CLOEXEC_DEFAULT the child gets only the descriptors named here.
    if (input == ChildInput::Null) {
        step(posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    } else if (isOpen(STDIN_FILENO)) {
        step(posix_spawn_file_actions_addinherit_np(&actions, STDIN_FILENO));
    }
    step(posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO));
    step(posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO));
    if (runAs) {
        if (runAs->home.find('\0') != std::string::npos) {
            step(EINVAL);
        }
        step(posix_spawn_file_actions_addchdir_np(&actions, runAs->home.c_str()));
    }
    step(setDefaultSignals(attributes, POSIX_SPAWN_CLOEXEC_DEFAULT));
    if (error == 0) {
        error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace nimbla::platform
