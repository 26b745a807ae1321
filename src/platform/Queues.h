#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/Seam.h"

namespace nimbla::platform {

using Task = std::function<void()>;

// The main queue: tasks run one at a time, in submission order, on the main thread. The default
// is a RunLoop (below); a GUI front end replaces the seam with its own event loop.
void dispatchMainAsync(Task task);
Seam<void(Task)>& mainQueueSeam();

// The global background queue (class userInitiated): each task runs on a worker thread of a
// small pool that grows when all workers are busy, so a task never waits for another to end.
void dispatchBackgroundAsync(Task task);
Seam<void(Task)>& backgroundQueueSeam();

// Blocks until the background queue has no queued or running task. For tests and benchmarks.
void waitForBackgroundIdle();

// A small serial run loop: the default main queue, and what tests and non-GUI front ends drain.
class RunLoop {
public:
    void post(Task task);
    // Runs every task queued so far, and those they queue in turn; returns how many ran.
    int drain();
    // Waits up to `timeout` for at least one task and runs all that are queued; false on timeout.
    bool runFor(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Task> tasks_;
};

// The run loop behind the default main queue.
RunLoop& mainRunLoop();

}  // namespace nimbla::platform
