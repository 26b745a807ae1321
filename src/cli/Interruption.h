#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

#include "cli/Report.h"

namespace nimbla::cli {

// Catches SIGINT, SIGTERM and SIGHUP while it lives. The first one becomes the run's
// interruption: no further step starts, the running command's process group is passed the
// signal and killed when it still has members after `grace`. Every command runs in a group of
// its own (platform/ChildProcess.h), so this reaches all it started: the user's steps in their
// sessions, and the administrator's shell with sudo, bash and whatever they run. Once interrupted,
// the end of this object waits until each group it signalled has gone (a group that outlives the
// kill by another `grace` is given up on, and the lock's record of it keeps later runs out). The
// handlers in place before are put back at the end.
class Interruption {
public:
    explicit Interruption(std::chrono::milliseconds grace = std::chrono::seconds(5));
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // The signal that interrupted the run, or 0; for the session.
    const std::atomic<int>& signal() const;

    // The running command, for the session's child watch: the process group it leads, 0 once it
    // ended.
    void running(pid_t group);

private:
    void watch();
    void stopGroups();

    std::chrono::milliseconds grace_;
    std::mutex mutex_;
    std::condition_variable changed_;
    pid_t child_ = 0;
    bool stopping_ = false;
    std::thread watcher_;
};

// Ends a run that `signal` stopped: outcome and error INTERRUPTED ("interrupted by SIGTERM: " and
// `what`), exit status 128 + the signal's number.
int interruptedBy(int signal, std::string_view what, Report& report);

}  // namespace nimbla::cli
