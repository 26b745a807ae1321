#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace nimbla::cli {

// Catches SIGINT, SIGTERM and SIGHUP for the length of a real run. The first one becomes the
// run's interruption: no further step starts, the running command's process group (or the
// command alone, when it shares the tool's) is passed the signal, and killed when it has not
// ended within `grace`. The handlers in place before are put back at the end.
class Interruption {
public:
    explicit Interruption(std::chrono::milliseconds grace = std::chrono::seconds(5));
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    // The signal that interrupted the run, or 0; for the session.
    const std::atomic<int>& signal() const;

    // The running command, for the session's child watch: its process id (0 once it ended), and
    // whether it leads a process group of its own.
    void running(pid_t pid, bool ownGroup);

private:
    void watch();

    std::chrono::milliseconds grace_;
    std::mutex mutex_;
    std::condition_variable changed_;
    pid_t child_ = 0;
    bool ownGroup_ = false;
    bool stopping_ = false;
    std::thread watcher_;
};

}  // namespace nimbla::cli
