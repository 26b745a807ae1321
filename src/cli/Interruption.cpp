#include "cli/Interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/ProcessGroup.h"

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

constexpr auto kPoll = std::chrono::milliseconds(50);

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

void Interruption::running(pid_t group) {
    {
        std::lock_guard lock(mutex_);
        child_ = group;
    }
    changed_.notify_all();
}

// Waits for the first signal, then stops what runs.
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
    stopGroups();
}

// Passes the signal to each command's group as it runs (one that started just as the signal came
// too), kills a group that still has members after the grace period, and returns once the run
// ends and each group has gone or outlived its kill by another grace period.
void Interruption::stopGroups() {
    using Clock = std::chrono::steady_clock;
    struct Signalled {
        pid_t group;
        Clock::time_point at;
        bool killed = false;
    };
    std::vector<Signalled> groups;
    std::unique_lock lock(mutex_);
    while (!stopping_ || !groups.empty()) {
        const auto now = Clock::now();
        if (child_ > 0 && std::none_of(groups.begin(), groups.end(),
                                       [this](const Signalled& g) { return g.group == child_; })) {
            platform::signalGroup(child_, caught);
            groups.push_back({child_, now});
        }
        std::erase_if(groups, [&](Signalled& g) {
            if (!platform::stillHasMembers({g.group, 0}) || (g.killed && now - g.at >= grace_)) {
                return true;
            }
            if (!g.killed && now - g.at >= grace_) {
                platform::signalGroup(g.group, SIGKILL);
                g = {g.group, now, true};
            }
            return false;
        });
        changed_.wait_for(lock, kPoll);
    }
}

namespace {

const char* signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
    }
    return "a signal";
}

}  // namespace

int interruptedBy(int signal, std::string_view what, Report& report) {
    report.outcome = std::string(kInterrupted);
    report.error =
        ErrorRecord{std::string(kInterrupted),
                    std::string("interrupted by ") + signalName(signal) + ": " + std::string(what)};
    return 128 + signal;
}

}  // namespace nimbla::cli
