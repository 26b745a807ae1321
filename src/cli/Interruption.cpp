#include "cli/Interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace nimbla::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// What the handler may touch: async-signal-safe, so plain atomics and a pipe.
std::atomic<int> caught{0};
std::atomic<int> wakeFd{-1};
struct sigaction previous[std::size(kSignals)];

void onSignal(int number) {
    const int saved = errno;
    int expected = 0;
    caught.compare_exchange_strong(expected, number);
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFd.load(), &byte, 1);
    errno = saved;
}

void passSignal(pid_t pid, bool ownGroup, int number) {
    if (!ownGroup || ::kill(-pid, number) != 0) {
        ::kill(pid, number);
    }
}

int pipeEnds[2] = {-1, -1};

}  // namespace

Interruption::Interruption(std::chrono::milliseconds grace) : grace_(grace) {
    caught = 0;
    if (::pipe(pipeEnds) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
    }
    for (int end : pipeEnds) {  // macOS has no pipe2
        if (end >= 0) {
            ::fcntl(end, F_SETFD, FD_CLOEXEC);
            ::fcntl(end, F_SETFL, O_NONBLOCK);
        }
    }
    wakeFd = pipeEnds[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &action, &previous[i]);
    }
    watcher_ = std::thread([this] { watch(); });
}

Interruption::~Interruption() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    const char byte = 0;
    [[maybe_unused]] const ssize_t ignored = ::write(pipeEnds[1], &byte, 1);
    watcher_.join();
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &previous[i], nullptr);
    }
    wakeFd = -1;
    for (int& end : pipeEnds) {
        if (end >= 0) {
            ::close(end);
        }
        end = -1;
    }
}

const std::atomic<int>& Interruption::signal() const {
    return caught;
}

void Interruption::running(pid_t pid, bool ownGroup) {
    {
        std::lock_guard lock(mutex_);
        child_ = pid;
        ownGroup_ = ownGroup;
        if (pid > 0 && caught != 0) {
            passSignal(pid, ownGroup, caught);  // started just as the signal came
        }
    }
    changed_.notify_all();
}

// Waits for the first signal, passes it to the running command, and kills that command when it
// outlives the grace period.
void Interruption::watch() {
    pollfd wake{pipeEnds[0], POLLIN, 0};
    while (caught == 0) {
        if (::poll(&wake, 1, -1) < 0 && errno != EINTR) {
            return;
        }
        char drained[16];
        while (::read(pipeEnds[0], drained, sizeof drained) > 0) {
        }
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
    }
    std::unique_lock lock(mutex_);
    if (child_ > 0) {
        passSignal(child_, ownGroup_, caught);
    }
    const pid_t signalled = child_;
    if (!changed_.wait_for(lock, grace_, [&] { return stopping_ || child_ != signalled; }) &&
        signalled > 0) {
        passSignal(signalled, ownGroup_, SIGKILL);
    }
}

}  // namespace nimbla::cli
