#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os/ChildProcess.h"

namespace nimbla::platform {

int os::makePipe(int ends[2]) {
    return ::pipe2(ends, O_CLOEXEC) == 0 ? 0 : errno;
}

namespace {

// In the forked child: only async-signal-safe calls. Reports errno through `reportFd` and ends.
[[noreturn]] void failInChild(int reportFd) {
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

// In the forked child: becomes the user and runs the program, or reports why not through
// `reportFd` and ends. Only async-signal-safe calls.
[[noreturn]] void becomeUserAndRun(const os::SpawnRequest& request, std::vector<char*>& argv,
                                   int reportFd) {
    const RunAs& runAs = *request.runAs;
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal != SIGKILL && signal != SIGSTOP) {
            ::sigaction(signal, &defaultAction, nullptr);
        }
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // A session of its own leaves the tool's controlling terminal behind: the user's program
    // can never push input into it (TIOCSTI) nor open it as /dev/tty.
    if (::setsid() < 0) {
        failInChild(reportFd);
    }
    const int null = ::open("/dev/null", O_RDONLY | O_NOCTTY);
    if (null < 0 || ::dup2(null, STDIN_FILENO) < 0) {
        failInChild(reportFd);
    }
    if (null != STDIN_FILENO) {  // it is 0 itself when the tool runs with 0 closed
        ::close(null);
    }
    if (::dup2(request.outFd, STDOUT_FILENO) < 0 || ::dup2(request.errFd, STDERR_FILENO) < 0) {
        failInChild(reportFd);
    }
    // Every descriptor above 2 but the report pipe's closes now, inheritable or not.
    ::syscall(SYS_close_range, STDERR_FILENO + 1, reportFd - 1, 0);
    ::syscall(SYS_close_range, reportFd + 1, ~0U, 0);
    if (::setgroups(runAs.groups.size(), runAs.groups.data()) != 0 || ::setgid(runAs.gid) != 0 ||
        ::setuid(runAs.uid) != 0) {
        failInChild(reportFd);
    }
    if (runAs.uid != 0 && ::setuid(0) == 0) {
        errno = EPERM;  // root could be regained: never run the command like that
        failInChild(reportFd);
    }
    if (::chdir(runAs.home.c_str()) != 0) {
        failInChild(reportFd);
    }
    ::execve(request.path.c_str(), argv.data(), request.environment);
    failInChild(reportFd);
}

// Starts the child as another user: fork, then in the child a session of its own, the standard
// streams (input /dev/null), the groups, gid, uid and working directory, and execve. Everything
// is allocated before the fork; a failure in the child comes back through a close-on-exec pipe
// as the launch error.
int forkChildAs(const os::SpawnRequest& request, std::vector<char*>& argv, pid_t& pid) {
    const RunAs& runAs = *request.runAs;
    if (runAs.home.find('\0') != std::string::npos) {
        return EINVAL;
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return errno;
    }
    // Above the standard descriptors, so the child's dup2 onto them never clobbers it.
    for (int& end : report) {
        if (end <= STDERR_FILENO) {
            const int moved = ::fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            ::close(end);
            end = moved;
        }
    }
    if (report[0] < 0 || report[1] < 0) {
        const int error = errno;
        for (int end : report) {
            if (end >= 0) {
                ::close(end);
            }
        }
        return error;
    }
    // Signals stay blocked across the fork, so no handler of ours runs in the child.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid = ::fork();
    if (pid == 0) {
        becomeUserAndRun(request, argv, report[1]);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return forkError;
    }
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof error)) {
        // It never ran: collect it, and report why.
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return error != 0 ? error : ECHILD;
    }
    return 0;
}

}  // namespace

int os::spawnChild(const SpawnRequest& request, pid_t& pid) {
    std::vector<char*> argv;
    if (const int error = makeArgv(request.path, request.arguments, argv); error != 0) {
        return error;
    }
    if (request.runAs) {
        return forkChildAs(request, argv, pid);
    }
    SpawnSetup setup(request.input, request.outFd, request.errFd, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Our own descriptors are close-on-exec; this also keeps out any a library left inheritable.
    setup.addAction([](auto* actions) {
        return posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);
    });
#endif
    return setup.spawn(request.path, argv.data(), request.environment, pid);
}

}  // namespace nimbla::platform
