#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Primitives.h"

extern char** environ;

namespace nimbla::platform {

int os::makePipe(int ends[2]) {
    return ::pipe2(ends, O_CLOEXEC) == 0 ? 0 : errno;
}

int os::spawnChild(const std::string& path, const std::vector<std::string>& arguments,
                   ChildInput input, int outFd, int errFd, const RunAs* runAs, pid_t& pid) {
    if (runAs) {
        return ENOSYS;  // not here yet: the command line brings the per-user launch
    }
    std::vector<char*> argv;
    if (const int error = makeArgv(path, arguments, argv); error != 0) {
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
    if (input == ChildInput::Null) {
        step(posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    }
    step(posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO));
    step(posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO));
    step(setDefaultSignals(attributes, 0));
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Our own descriptors are close-on-exec; this also keeps out any a library left inheritable.
    step(posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1));
#endif
    if (error == 0) {
        error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

}  // namespace nimbla::platform
