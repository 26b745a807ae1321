#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
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

// What the child run as another user needs, all of it prepared before it starts: until its execve
// it shares the tool's memory, so it allocates nothing and reports a failure here.
struct RunAsStart {
    const os::SpawnRequest& request;
    char* const* argv;
    int error = 0;  // why it could not run the program (an errno value), else 0
};

// In the child, on the tool's memory: only system calls. Records errno and ends.
[[noreturn]] void failInChild(RunAsStart& start) {
    start.error = errno != 0 ? errno : EPERM;
    ::_exit(127);
}

// The ids change through the system calls themselves. glibc's setuid and friends believe they
// run in the tool, with its threads: they take its locks and ask each of its threads to change
// ids as well, which nothing in a child that shares the tool's memory may do.
// (The calls of 64-bit systems, whose ids are 32 bits wide.)
static_assert(sizeof(long) == 8, "32-bit systems need the 32-bit id calls (setresuid32, ...)");
bool becomeUser(const RunAs& runAs) {
    return ::syscall(SYS_setgroups, runAs.groups.size(), runAs.groups.data()) == 0 &&
           ::syscall(SYS_setresgid, runAs.gid, runAs.gid, runAs.gid) == 0 &&
           ::syscall(SYS_setresuid, runAs.uid, runAs.uid, runAs.uid) == 0;
}

// The child: becomes the user and runs the program, or records why not and ends.
int becomeUserAndRun(void* argument) {
    RunAsStart& start = *static_cast<RunAsStart*>(argument);
    const os::SpawnRequest& request = start.request;
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
        failInChild(start);
    }
    const int null = ::open("/dev/null", O_RDONLY | O_NOCTTY);
    if (null < 0 || ::dup2(null, STDIN_FILENO) < 0) {
        failInChild(start);
    }
    if (null != STDIN_FILENO) {  // it is 0 itself when the tool runs with 0 closed
        ::close(null);
    }
    if (::dup2(request.outFd, STDOUT_FILENO) < 0 || ::dup2(request.errFd, STDERR_FILENO) < 0) {
        failInChild(start);
    }
    // Every descriptor above 2 closes now, inheritable or not.
    ::syscall(SYS_close_range, STDERR_FILENO + 1, ~0U, 0);
    if (!becomeUser(runAs)) {
        failInChild(start);
    }
    if (runAs.uid != 0 && ::syscall(SYS_setuid, 0) == 0) {
        errno = EPERM;  // root could be regained: never run the command like that
        failInChild(start);
    }
    if (::chdir(runAs.home.c_str()) != 0) {
        failInChild(start);
    }
    ::execve(request.path.c_str(), start.argv, request.environment);
    failInChild(start);
}

// The child's own stack: a few pages, with a guard page below them.
constexpr std::size_t kChildStack = 64 * 1024;
constexpr std::size_t kGuard = 4096;

// Starts the child as another user the way posix_spawn starts one: clone with CLONE_VM and
// CLONE_VFORK, so nothing of the tool's memory is copied and the calling thread waits until the
// child has called execve (or ended). In the child a session of its own, the standard streams
// (input /dev/null), the groups, gid, uid and working directory, and execve.
int startChildAs(const os::SpawnRequest& request, std::vector<char*>& argv, pid_t& pid) {
    if (request.runAs->home.find('\0') != std::string::npos) {
        return EINVAL;
    }
    void* const stack = ::mmap(nullptr, kChildStack + kGuard, PROT_READ | PROT_WRITE,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) {
        return errno;
    }
    ::mprotect(stack, kGuard, PROT_NONE);
    RunAsStart start{request, argv.data()};
    // Signals stay blocked until the child has set every handler to the default, so no handler
    // of ours ever runs in it.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid = ::clone(becomeUserAndRun, static_cast<char*>(stack) + kGuard + kChildStack,
                  CLONE_VM | CLONE_VFORK | SIGCHLD, &start);
    const int cloneError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::munmap(stack, kChildStack + kGuard);
    if (pid < 0) {
        return cloneError;
    }
    if (start.error != 0) {
        // It never ran: collect it, and report why.
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return start.error;
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
        return startChildAs(request, argv, pid);
    }
    SpawnSetup setup(request.input, request.outFd, request.errFd,
                     request.ownSession ? POSIX_SPAWN_SETSID : 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Our own descriptors are close-on-exec; this also keeps out any a library left inheritable.
    setup.addAction([](auto* actions) {
        return posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);
    });
#endif
    return setup.spawn(request.path, argv.data(), request.environment, pid);
}

}  // namespace nimbla::platform
