#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace nimbla::platform {
namespace {

using namespace std::chrono_literals;

TEST(NotificationCenter, CallsObserversOfThatNameInRegistrationOrderOnThePostingThread) {
    NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver("RESET_SUCCESS", [&] { calls.push_back("a"); });
    center.addObserver("RESET_FAILED", [&] { calls.push_back("other"); });
    center.addObserver("RESET_SUCCESS", [&] { calls.push_back("b"); });
    center.addObserver("RESET_SUCCESS", [&] { calls.push_back("c"); });

    center.post("RESET_SUCCESS");
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b", "c"}));

    calls.clear();
    center.post("RESET");  // names match whole, never by prefix
    center.post("reset_success");
    EXPECT_TRUE(calls.empty());

    std::thread::id calledOn;
    center.addObserver("X", [&] { calledOn = std::this_thread::get_id(); });
    std::thread([&] { center.post("X"); }).join();
    EXPECT_NE(calledOn, std::this_thread::get_id());
    EXPECT_NE(calledOn, std::thread::id());
}

TEST(NotificationCenter, RemovedObserversAreNotCalledAndUnknownTokensAreIgnored) {
    NotificationCenter center;
    int a = 0, b = 0;
    const auto ta = center.addObserver("N", [&] { ++a; });
    center.addObserver("N", [&] { ++b; });
    center.removeObserver(ta);
    center.removeObserver(ta);
    center.removeObserver(12345);
    center.post("N");
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
}

TEST(NotificationCenter, ObserversMayAddAndRemoveObserversWhileBeingCalled) {
    NotificationCenter center;
    std::vector<std::string> calls;
    NotificationCenter::Token self = 0, later = 0;
    self = center.addObserver("N", [&] {
        calls.push_back("self");
        center.removeObserver(self);   // removing itself must not deadlock
        center.removeObserver(later);  // one not yet called in this post is skipped
        center.addObserver("N", [&] { calls.push_back("added"); });
    });
    later = center.addObserver("N", [&] { calls.push_back("later"); });

    center.post("N");
    EXPECT_EQ(calls, (std::vector<std::string>{"self"}));
    calls.clear();
    center.post("N");
    EXPECT_EQ(calls, (std::vector<std::string>{"added"}));
}

TEST(NotificationCenter, RemovalFromAnotherThreadWaitsForACallInProgress) {
    NotificationCenter center;
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> inside{false};
    std::atomic<int> callsAfterRemoval{0};
    std::atomic<bool> removed{false};
    const auto token = center.addObserver("N", [&, first = true]() mutable {
        if (removed) {
            ++callsAfterRemoval;
        }
        if (first) {
            first = false;
            inside = true;
            entered.set_value();
            release.get_future().wait();
            inside = false;
        }
    });
    std::thread poster([&] { center.post("N"); });
    entered.get_future().wait();

    auto removal = std::async(std::launch::async, [&] {
        center.removeObserver(token);
        const bool wasInside = inside;
        removed = true;
        return wasInside;
    });
    EXPECT_EQ(removal.wait_for(50ms), std::future_status::timeout);
    release.set_value();
    EXPECT_FALSE(removal.get());  // it returned only after the call had ended
    poster.join();
    center.post("N");
    EXPECT_EQ(callsAfterRemoval, 0);
}

TEST(NotificationCenter, ConcurrentAddRemoveAndPostNeverCallAnObserverAfterItsRemoval) {
    NotificationCenter center;
    std::atomic<bool> stop{false};
    std::atomic<int> lateCalls{0};
    std::atomic<long> calls{0};

    std::vector<std::thread> posters;
    for (int i = 0; i < 3; ++i) {
        posters.emplace_back([&] {
            while (!stop) {
                center.post("N");
            }
        });
    }
    std::vector<std::thread> churners;
    for (int i = 0; i < 3; ++i) {
        churners.emplace_back([&] {
            for (int round = 0; round < 300; ++round) {
                auto gone = std::make_shared<std::atomic<bool>>(false);
                auto hits = std::make_shared<std::atomic<int>>(0);
                const auto token = center.addObserver("N", [&, gone, hits] {
                    if (*gone) {
                        ++lateCalls;
                    }
                    ++*hits;
                    ++calls;
                });
                // Remove it while the posters are calling it.
                const auto deadline = std::chrono::steady_clock::now() + 2s;
                while (*hits == 0 && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::yield();
                }
                center.removeObserver(token);
                *gone = true;
            }
        });
    }
    for (auto& t : churners) {
        t.join();
    }
    stop = true;
    for (auto& t : posters) {
        t.join();
    }
    EXPECT_EQ(lateCalls, 0);
    EXPECT_GE(calls, 900);
}

}  // namespace
}  // namespace nimbla::platform
