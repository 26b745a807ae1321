#include "process/RunProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string_view>

#include "logging/Logger.h"
#include "process/Utf8.h"

extern char** environ;

namespace nimbla {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 64 * 1024;
// While the pipes stay open, how often to look whether the child has ended anyway.
constexpr auto kExitCheckInterval = std::chrono::milliseconds(100);
// How long a process the child left behind may keep the pipes open after the child has ended.
constexpr auto kGraceAfterExit = std::chrono::milliseconds(1000);

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Moves a pipe end above 0, 1 and 2 (the tool may run with one of them closed), so that the
// child's dup2 onto 1 and 2 can never clobber the other pipe's end.
bool keepAboveStandardStreams(Fd& fd) {
    if (fd.get() > STDERR_FILENO) {
        return true;
    }
    const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0) {
        return false;
    }
    fd.reset(moved);
    return true;
}

bool makePipe(Fd& readEnd, Fd& writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    return keepAboveStandardStreams(readEnd) && keepAboveStandardStreams(writeEnd);
}

// Starts the child with the pipes' writing ends as its stdout and stderr; returns -1 when it
// could not be started. The child gets descriptors 0, 1 and 2 only, default signal handling
// and an empty signal mask, whatever this thread has.
pid_t spawnChild(const std::string& url, const std::vector<std::string>& arguments, int outFd,
                 int errFd) {
    if (url.find('\0') != std::string::npos) {
        return -1;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(url.c_str()));
    for (const auto& argument : arguments) {
        if (argument.find('\0') != std::string::npos) {
            return -1;  // would be cut short silently
        }
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return -1;
    }
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    sigset_t defaulted;
    sigset_t unblocked;
    sigfillset(&defaulted);
    sigdelset(&defaulted, SIGKILL);
    sigdelset(&defaulted, SIGSTOP);
    sigemptyset(&unblocked);

    bool ready =
        posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO) == 0 &&
        posix_spawnattr_setsigdefault(&attributes, &defaulted) == 0 &&
        posix_spawnattr_setsigmask(&attributes, &unblocked) == 0 &&
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Our own descriptors are close-on-exec; this also keeps out any a library left inheritable.
    ready = ready && posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0;
#endif
    pid_t pid = -1;
    if (!ready ||
        posix_spawn(&pid, url.c_str(), &actions, &attributes, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

struct ChildRun {
    bool exitedWithZero = false;
    std::string out;
    std::string err;
};

// Runs the child to its end and collects both streams whole. Both pipes are drained as data
// arrives, so a child writing a lot to both never stalls on a full pipe.
ChildRun runChild(const std::string& url, const std::vector<std::string>& arguments) {
    ChildRun run;
    Fd outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite)) {
        return run;
    }
    const pid_t pid = spawnChild(url, arguments, outWrite.get(), errWrite.get());
    // From here on only the child holds the writing ends, so its exit ends the streams.
    outWrite.reset();
    errWrite.reset();
    if (pid < 0) {
        return run;  // launch failure: a child that wrote nothing and failed
    }

    pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    std::string* const sinks[2] = {&run.out, &run.err};
    const auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunk);
    int openStreams = 2;
    bool reaped = false;
    int status = 0;
    auto nextExitCheck = Clock::now() + kExitCheckInterval;
    Clock::time_point giveUpAt{};

    while (openStreams > 0) {
        const auto now = Clock::now();
        if (!reaped && now >= nextExitCheck) {
            // Something keeps the pipes open; if the child itself has ended, whatever it left
            // behind gets a short grace period and no more.
            pid_t waited;
            do {
                waited = ::waitpid(pid, &status, WNOHANG);
            } while (waited < 0 && errno == EINTR);
            if (waited == pid) {
                reaped = true;
                giveUpAt = now + kGraceAfterExit;
            }
            nextExitCheck = now + kExitCheckInterval;
        }
        if (reaped && now >= giveUpAt) {
            break;
        }
        const auto wakeAt = reaped ? giveUpAt : nextExitCheck;
        const auto timeout = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
        const int ready = ::poll(fds, 2, static_cast<int>(timeout));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer.get(), kReadChunk);
            if (n > 0) {
                sinks[i]->append(buffer.get(), static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                fds[i].fd = -1;  // end of stream; poll skips negative descriptors
                --openStreams;
            }
        }
    }
    // Closing the reading ends first means a child still writing gets EPIPE instead of
    // blocking us in waitpid for ever.
    outRead.reset();
    errRead.reset();
    if (!reaped) {
        pid_t waited;
        do {
            waited = ::waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
        reaped = waited == pid;
    }
    // A child ended by a signal has failed, whatever it wrote.
    run.exitedWithZero = reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Writes to the tool's own stderr. When that is a pipe nobody reads any more, the write fails
// with EPIPE; the SIGPIPE it raises is held back and discarded so the tool carries on.
void writeToStandardError(std::string_view text) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t previousMask;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);

    bool brokenPipe = false;
    while (!text.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            brokenPipe = errno == EPIPE;
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    if (brokenPipe && !alreadyPending) {
        const timespec noWait{};
        while (sigtimedwait(&pipeSignal, nullptr, &noWait) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
}

// One log line built in one piece: a command's output can be large.
void logJoined(const std::string& description, std::string_view separator, std::string_view text) {
    std::string line;
    line.reserve(description.size() + separator.size() + text.size() + 1);
    line.append(description).append(separator).append(text).push_back('\n');
    dest().write(line);
}

}  // namespace

ProcessResult runProcess(const std::string& url, const std::vector<std::string>& arguments,
                         const std::string& description) {
    ChildRun run = runChild(url, arguments);
    if (!isValidUtf8(run.out)) {
        writeToStandardError(kStdoutDecodeError);
        return {false, "", kStdoutDecodeError};
    }
    ProcessResult result;
    result.succeeded = run.exitedWithZero;
    result.output = std::move(run.out);
    if (isValidUtf8(run.err)) {
        result.errorOutput = std::move(run.err);  // stays "" when the child wrote nothing
    }
    logJoined(description, " output: ", result.output);
    if (!result.errorOutput.empty()) {
        logJoined(description, " Error output: ", result.errorOutput);
    } else {
        logJoined(description, " done.", {});
    }
    return result;
}

platform::Seam<RunProcessFn>& runProcessSeam() {
    static platform::Seam<RunProcessFn> seam(runProcess);
    return seam;
}

}  // namespace nimbla
