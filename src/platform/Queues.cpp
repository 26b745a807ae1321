#include "platform/Queues.h"

#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

namespace nimbla::platform {

// ---- RunLoop ----

void RunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    ready_.notify_all();
}

int RunLoop::drain() {
    int ran = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return ran;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        if (task) {
            task();
        }
        ++ran;
    }
}

bool RunLoop::runFor(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, timeout, [this] { return !tasks_.empty(); })) {
            return false;
        }
    }
    drain();
    return true;
}

// Deliberately never destroyed: a background task may still post to it while the process exits.
RunLoop& mainRunLoop() {
    static RunLoop* const loop = new RunLoop;
    return *loop;
}

// ---- the background pool ----

namespace {

// Workers are detached and the pool is never destroyed, so the process can end at any moment,
// even while a task still runs: nothing at exit waits for a worker.
class BackgroundPool {
public:
    void submit(Task task) {
        std::unique_lock lock(mutex_);
        queue_.push_back(std::move(task));
        // Every queued task needs an idle worker of its own; start one when there are too few.
        if (queue_.size() > static_cast<std::size_t>(idleWorkers_) && workers_ < kMaxWorkers) {
            ++workers_;
            try {
                std::thread([this] { work(); }).detach();
                return;
            } catch (const std::system_error&) {
                --workers_;  // no thread to be had: the busy workers pick the task up later
            }
        }
        lock.unlock();
        workAvailable_.notify_one();
    }

    void waitForIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
    }

private:
    static constexpr int kMaxWorkers = 64;
    static constexpr std::chrono::seconds kLinger{5};

    void work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (queue_.empty()) {
                ++idleWorkers_;
                const bool gotWork =
                    workAvailable_.wait_for(lock, kLinger, [this] { return !queue_.empty(); });
                --idleWorkers_;
                if (!gotWork) {
                    --workers_;
                    return;
                }
            }
            Task task = std::move(queue_.front());
            queue_.pop_front();
            ++running_;
            lock.unlock();
            if (task) {
                task();
            }
            task = nullptr;  // the closure's captures die before the task counts as finished
            lock.lock();
            --running_;
            if (queue_.empty() && running_ == 0) {
                idle_.notify_all();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable idle_;
    std::deque<Task> queue_;
    int workers_ = 0;
    int idleWorkers_ = 0;
    int running_ = 0;
};

BackgroundPool& backgroundPool() {
    static BackgroundPool* const pool = new BackgroundPool;
    return *pool;
}

}  // namespace

Seam<void(Task)>& mainQueueSeam() {
    static auto* const seam =
        new Seam<void(Task)>([](Task task) { mainRunLoop().post(std::move(task)); });
    return *seam;
}

void dispatchMainAsync(Task task) {
    mainQueueSeam()(std::move(task));
}

Seam<void(Task)>& backgroundQueueSeam() {
    static auto* const seam =
        new Seam<void(Task)>([](Task task) { backgroundPool().submit(std::move(task)); });
    return *seam;
}

void dispatchBackgroundAsync(Task task) {
    backgroundQueueSeam()(std::move(task));
}

void waitForBackgroundIdle() {
    backgroundPool().waitForIdle();
}

}  // namespace nimbla::platform
