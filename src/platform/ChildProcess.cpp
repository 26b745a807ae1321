#include "platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string_view>

#include "platform/os/ChildProcess.h"

extern char** environ;

namespace nimbla::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 64 * 1024;
// While the pipes stay open, how often to look whether the child has ended anyway.
constexpr auto kExitCheckInterval = std::chrono::milliseconds(100);
// How long a process the child left behind may keep the pipes open after the child has ended.
constexpr auto kGraceAfterExit = std::chrono::milliseconds(1000);

// A large output is collected in blocks of this size, each allocated once. Blocks this large are
// always mapped on their own by the allocator, so freeing one returns its memory at once.
constexpr std::size_t kBlock = 32 * 1024 * 1024;

// Collects one output stream. Up to one block it is a plain string; beyond that it goes into
// blocks that are joined when the stream is taken, each freed as soon as it is copied. A string
// that doubled all the way would hold its old and its new buffer at once while it copies, up to
// twice the output for a moment; this way the memory held stays within a block of the output.
class StreamSink {
public:
    void append(const char* data, std::size_t size) {
        while (size > 0) {
            if (current_.size() >= kBlock) {
                full_.push_back(std::move(current_));
                current_ = std::string();
                current_.reserve(kBlock);
            }
            const std::size_t part = std::min(size, kBlock - current_.size());
            current_.append(data, part);
            data += part;
            size -= part;
        }
    }

    std::string take() {
        if (full_.empty()) {
            return std::move(current_);
        }
        std::size_t total = current_.size();
        for (const auto& block : full_) {
            total += block.size();
        }
        std::string whole;
        whole.reserve(total);
        for (auto& block : full_) {
            whole.append(block);
            std::string().swap(block);
        }
        whole.append(current_);
        std::string().swap(current_);
        full_.clear();
        return whole;
    }

private:
    std::vector<std::string> full_;
    std::string current_;
};

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

// Returns 0 or the errno value of the failure.
int makePipe(Fd& readEnd, Fd& writeEnd) {
    int ends[2];
    if (const int error = os::makePipe(ends); error != 0) {
        return error;
    }
    readEnd.reset(ends[0]);
    writeEnd.reset(ends[1]);
    if (!keepAboveStandardStreams(readEnd) || !keepAboveStandardStreams(writeEnd)) {
        return errno;
    }
    return 0;
}

}  // namespace

ChildOutput runChild(const std::string& path, const std::vector<std::string>& arguments,
                     ChildInput input, const RunAs* runAs, ChildEnvironment kind,
                     const ChildWatch* watch) {
    ChildOutput child;
    // The environment, built before anything is started.
    std::vector<std::string> built;
    std::vector<char*> environment;
    if (runAs || kind == ChildEnvironment::SystemPath) {
        built = os::environmentFor(runAs);
        for (std::string& variable : built) {
            environment.push_back(variable.data());
        }
        if (built.empty()) {
            child.launchError = EINVAL;
            return child;
        }
    }
    environment.push_back(nullptr);
    Fd outRead, outWrite, errRead, errWrite;
    child.launchError = makePipe(outRead, outWrite);
    if (child.launchError == 0) {
        child.launchError = makePipe(errRead, errWrite);
    }
    pid_t pid = -1;
    const bool watched = watch != nullptr && *watch;
    if (child.launchError == 0) {
        // A child run as another user, or in a group of its own, never reads the tool's input.
        const os::SpawnRequest request{
            path,           arguments, runAs || watched ? ChildInput::Null : input,  outWrite.get(),
            errWrite.get(), runAs,     built.empty() ? environ : environment.data(), watched};
        child.launchError = os::spawnChild(request, pid);
    }
    // From here on only the child holds the writing ends, so its exit ends the streams.
    outWrite.reset();
    errWrite.reset();
    if (child.launchError != 0) {
        return child;
    }
    child.started = true;
    if (watched) {
        (*watch)(pid);
    }

    // Both pipes are drained as data arrives, so a child writing a lot to both never stalls.
    pollfd fds[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    StreamSink sinks[2];
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
                sinks[i].append(buffer.get(), static_cast<std::size_t>(n));
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
    child.out = sinks[0].take();
    child.err = sinks[1].take();
    if (!reaped) {
        pid_t waited;
        do {
            waited = ::waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
        reaped = waited == pid;
    }
    if (watched) {
        (*watch)(0);
    }
    if (reaped && WIFEXITED(status)) {
        child.exitedNormally = true;
        child.exitStatus = WEXITSTATUS(status);
    } else if (reaped && WIFSIGNALED(status)) {
        child.signal = WTERMSIG(status);
    }
    return child;
}

}  // namespace nimbla::platform
