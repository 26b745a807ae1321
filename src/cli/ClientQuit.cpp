#include "cli/ClientQuit.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "cli/AllUsers.h"
#include "operations/NimblaDriveUtils.h"
#include "platform/ChildProcess.h"

namespace nimbla::cli {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Those of `pids` the running-client check still sees, once at least and then every 50 ms until
// none is left, `until` has passed or the session is interrupted.
std::vector<pid_t> stillRunning(const Session& session, std::vector<pid_t> pids,
                                Clock::time_point until) {
    for (bool first = true;; first = false) {
        if (!first) {
            std::this_thread::sleep_for(50ms);
        }
        // A list that cannot be read this time ends nobody.
        if (const std::optional<std::vector<pid_t>> running = clientPids(session)) {
            std::erase_if(pids, [&running](pid_t pid) {
                return std::find(running->begin(), running->end(), pid) == running->end();
            });
        }
        if (pids.empty() || Clock::now() >= until || session.interrupted()) {
            return pids;
        }
    }
}

bool contains(const std::vector<pid_t>& pids, pid_t pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// osascript sending the Apple event, on a thread of its own: a client that answers with a
// question (unsaved changes) holds the reply, and so the sender, for minutes.
class AppleEvent {
public:
    explicit AppleEvent(const Session& session) : session_(session), start_(Clock::now()) {
        watch_ = [this](pid_t pid) {
            pid_ = pid;
            if (session_.childWatch) {
                session_.childWatch(pid);
            }
        };
        thread_ = std::thread([this] {
            const platform::RunAs* runAs = session_.runAs ? &*session_.runAs : nullptr;
            ended_ = platform::runChild(kOsascript, {"-e", kQuitScript}, platform::ChildInput::Null,
                                        runAs, platform::ChildEnvironment::Inherit, &watch_);
        });
    }
    ~AppleEvent() { stop(); }
    AppleEvent(const AppleEvent&) = delete;
    AppleEvent& operator=(const AppleEvent&) = delete;

    // Ends the sender if it still waits for the reply, and returns how it ended.
    const platform::ChildOutput& stop() {
        if (thread_.joinable()) {
            if (const pid_t pid = pid_.load(); pid > 0) {
                ::kill(session_.runAs ? -pid : pid, SIGKILL);  // a user's leads its own group
            }
            thread_.join();
            duration_ = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        }
        return ended_;
    }
    double durationMs() const { return duration_; }

private:
    const Session& session_;
    Clock::time_point start_;
    double duration_ = 0;
    std::atomic<pid_t> pid_{0};
    platform::ChildWatch watch_;
    platform::ChildOutput ended_;
    std::thread thread_;
};

std::string senderLine(const Session& session, const platform::ChildOutput& ended, double ms) {
    StepRecord step;
    step.started = ended.started;
    step.launchError = ended.launchError;
    step.exitStatus = ended.exitStatus;
    step.signal = ended.signal;
    return "Apple event to quit: " + shellLine(kOsascript, {"-e", kQuitScript}) + ", as " +
           session.userName + ": " + howItEnded(step) + ", " + std::to_string(std::lround(ms)) +
           " ms\n";
}

}  // namespace

ClientQuit askClientToQuit(const Session& session, const std::vector<pid_t>& pids, int seconds) {
    ClientQuit result;
    if (pids.empty()) {
        return result;
    }
    const auto start = Clock::now();
    const auto askedUntil = start + std::chrono::milliseconds(seconds * 500);
    std::vector<pid_t> running;
    {
        AppleEvent event(session);
        running = stillRunning(session, pids, askedUntil);
        const platform::ChildOutput& ended = event.stop();
        result.lines += senderLine(session, ended, event.durationMs());
    }
    for (pid_t pid : running) {
        ::kill(pid, SIGTERM);
    }
    const std::vector<pid_t> signalled = running;
    if (!signalled.empty()) {
        running = stillRunning(session, signalled, start + std::chrono::seconds(seconds));
    }
    for (pid_t pid : pids) {
        QuitRecord quit{pid, contains(signalled, pid) ? SIGTERM : 0, !contains(running, pid)};
        quit.how = !quit.ended ? "" : quit.signal != 0 ? "signal" : "appleEvent";
        result.quits.push_back(quit);
        result.lines += "Asked Nimbla Drive (process " + std::to_string(pid) + ") to quit" +
                        (quit.signal != 0 ? " with the Apple event, then SIGTERM: "
                                          : " with the Apple event: ") +
                        (quit.ended ? "it ended" : "still running") + "\n";
    }
    return result;
}

std::vector<ClientProcess> askEveryClientToQuit(const std::vector<platform::RunAs>& accounts,
                                                int seconds, const std::atomic<int>& interruption,
                                                LogCopy* copy, Report& report) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::vector<ClientProcess> others = clientsOfEveryone().value_or(std::vector<ClientProcess>{});
    std::vector<Session> sessions;
    std::vector<std::vector<pid_t>> pids;
    for (const platform::RunAs& account : accounts) {
        std::vector<pid_t> own;
        for (const ClientProcess& client : others) {
            if (client.uid == account.uid) {
                own.push_back(client.pid);
            }
        }
        std::erase_if(others,
                      [&](const ClientProcess& client) { return client.uid == account.uid; });
        if (!own.empty()) {
            sessions.push_back(sessionOf(account));
            sessions.back().interruption = &interruption;
            pids.push_back(std::move(own));
        }
    }
    for (const ClientProcess& client : others) {
        ::kill(client.pid, SIGTERM);
    }
    std::vector<ClientQuit> answers(sessions.size());
    std::vector<std::thread> asking;
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        asking.emplace_back(
            [&, i] { answers[i] = askClientToQuit(sessions[i], pids[i], seconds); });
    }
    for (std::thread& thread : asking) {
        thread.join();
    }
    for (const ClientQuit& answer : answers) {
        report.clientQuits.insert(report.clientQuits.end(), answer.quits.begin(),
                                  answer.quits.end());
        if (copy != nullptr) {
            copy->append(answer.lines);
        }
    }
    std::vector<ClientProcess> running = clientsOfEveryone().value_or(others);
    const auto isOther = [&others](const ClientProcess& client) {
        return std::any_of(others.begin(), others.end(),
                           [&](const ClientProcess& other) { return other.pid == client.pid; });
    };
    while (std::any_of(running.begin(), running.end(), isOther) &&
           std::chrono::steady_clock::now() < deadline && interruption.load() == 0) {
        std::this_thread::sleep_for(50ms);
        running = clientsOfEveryone().value_or(running);  // unreadable this time: ends nobody
    }
    for (const ClientProcess& client : others) {
        const bool ended = std::none_of(running.begin(), running.end(),
                                        [&](const auto& other) { return other.pid == client.pid; });
        report.clientQuits.push_back({client.pid, SIGTERM, ended, ended ? "signal" : ""});
    }
    return running;
}

}  // namespace nimbla::cli
