#include "platform/Queues.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace nimbla::platform {
namespace {

using namespace std::chrono_literals;

TEST(RunLoop, RunsTasksInOrderIncludingThoseQueuedWhileDraining) {
    RunLoop loop;
    std::vector<int> order;
    loop.post([&] {
        order.push_back(1);
        loop.post([&] {
            order.push_back(3);
            loop.post([&] { order.push_back(4); });
        });
    });
    loop.post([&] { order.push_back(2); });
    EXPECT_EQ(loop.drain(), 4);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(loop.drain(), 0);
}

TEST(RunLoop, RunForWaitsForWorkFromAnotherThreadAndTimesOutWithout) {
    RunLoop loop;
    EXPECT_FALSE(loop.runFor(20ms));
    std::atomic<bool> ran{false};
    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        loop.post([&] { ran = true; });
    });
    EXPECT_TRUE(loop.runFor(10s));
    poster.join();
    EXPECT_TRUE(ran);
}

TEST(MainQueue, DefaultPostsToTheMainRunLoopAndTheSeamCanBeReplaced) {
    mainRunLoop().drain();
    int ran = 0;
    dispatchMainAsync([&] { ++ran; });
    EXPECT_EQ(ran, 0);  // asynchronous: nothing runs until the loop is drained
    EXPECT_EQ(mainRunLoop().drain(), 1);
    EXPECT_EQ(ran, 1);

    std::vector<Task> captured;
    {
        auto guard = mainQueueSeam().override([&](Task t) { captured.push_back(std::move(t)); });
        dispatchMainAsync([&] { ++ran; });
    }
    EXPECT_EQ(mainRunLoop().drain(), 0);
    ASSERT_EQ(captured.size(), 1u);
    captured.front()();
    EXPECT_EQ(ran, 2);
}

TEST(BackgroundQueue, RunsOffTheCallingThreadAndWaitForIdleSeesEverything) {
    std::atomic<int> done{0};
    std::atomic<bool> onCaller{false};
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 50; ++i) {
        dispatchBackgroundAsync([&] {
            if (std::this_thread::get_id() == caller) {
                onCaller = true;
            }
            std::this_thread::sleep_for(1ms);
            // Work queued from a task counts too.
            dispatchBackgroundAsync([&] { ++done; });
            ++done;
        });
    }
    waitForBackgroundIdle();
    EXPECT_EQ(done, 100);
    EXPECT_FALSE(onCaller);
}

TEST(BackgroundQueue, ATaskWaitingForALaterTaskDoesNotDeadlock) {
    // Each task blocks until the next one has started: only a pool that grows can finish.
    constexpr int kChain = 8;
    std::vector<std::promise<void>> started(kChain);
    std::atomic<int> finished{0};
    for (int i = 0; i < kChain; ++i) {
        dispatchBackgroundAsync([&, i] {
            started[i].set_value();
            if (i + 1 < kChain) {
                started[i + 1].get_future().wait();
            }
            ++finished;
        });
    }
    waitForBackgroundIdle();
    EXPECT_EQ(finished, kChain);
}

TEST(BackgroundQueue, WaitForIdleWaitsForARunningTask) {
    std::atomic<bool> finished{false};
    std::promise<void> running;
    dispatchBackgroundAsync([&] {
        running.set_value();
        std::this_thread::sleep_for(50ms);
        finished = true;
    });
    running.get_future().wait();
    waitForBackgroundIdle();
    EXPECT_TRUE(finished);
}

TEST(BackgroundQueueDeathTest, TheProcessEndsAtOnceWhileATaskStillRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::promise<void> running;
            dispatchBackgroundAsync([&] {
                running.set_value();
                std::this_thread::sleep_for(1h);
            });
            running.get_future().wait();
            std::exit(7);
        },
        testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace nimbla::platform
