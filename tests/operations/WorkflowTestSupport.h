#pragma once

// Shared by the workflow tests: a private log, a scripted command runner, a recorder of outcome
// notifications and temporary folders.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "logging/Logger.h"
#include "operations/Outcomes.h"
#include "platform/Clock.h"
#include "platform/HomeDirectory.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "process/RunProcess.h"

namespace nimbla::testsupport {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "nimbla-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    fs::path path_;
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void writeExecutable(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

// The log of this test process goes to <temp home>/Desktop/..., with a fixed date. The log path is
// fixed by the first message of the process, so the seams are set once, before any test runs.
class LogEnvironment : public ::testing::Environment {
public:
    void SetUp() override { home(); }
    void TearDown() override {
        platform::waitForBackgroundIdle();
        delete homeDir();
        homeDir() = nullptr;
    }
    static const std::string& home() {
        static const std::string path = [] {
            homeDir() = new TempDir;
            fs::create_directory(homeDir()->path() / "Desktop");
            std::string homePath = homeDir()->str();
            platform::homeDirectorySeam().replace([homePath] { return homePath; });
            platform::clockSeam().replace([] {
                return platform::TimePoint(std::chrono::seconds(1741953600));  // 2025-03-14
            });
            return homePath;
        }();
        return path;
    }
    static std::string logPath() {
        home();
        return dest().path();
    }

private:
    static TempDir*& homeDir() {
        static TempDir* dir = nullptr;
        return dir;
    }
};
inline ::testing::Environment* const kLogEnvironment =
    ::testing::AddGlobalTestEnvironment(new LogEnvironment);

// What was appended to the log from construction on.
class LogCapture {
public:
    LogCapture() : start_(currentSize()) {}
    std::string appended() const {
        std::string all = readFile(LogEnvironment::logPath());
        return all.size() > start_ ? all.substr(start_) : std::string();
    }

private:
    static std::size_t currentSize() {
        std::error_code error;
        auto size = fs::file_size(LogEnvironment::logPath(), error);
        return error ? 0 : static_cast<std::size_t>(size);
    }
    std::size_t start_;
};

// Stands in for the process runner: answers each command by its description, logs as the runner
// does, and records the calls.
class ScriptedRunner {
public:
    struct Call {
        std::string url;
        std::vector<std::string> arguments;
        std::string description;
        std::thread::id thread;
    };

    ScriptedRunner()
        : override_(runProcessSeam().override([this](const std::string& url,
                                                     const std::vector<std::string>& arguments,
                                                     const std::string& description) {
              return run(url, arguments, description);
          })) {}

    void answer(const std::string& description, ProcessResult result) {
        std::lock_guard lock(mutex_);
        answers_[description] = std::move(result);
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> descriptions() const {
        std::vector<std::string> names;
        for (const Call& call : calls()) {
            names.push_back(call.description);
        }
        return names;
    }

private:
    ProcessResult run(const std::string& url, const std::vector<std::string>& arguments,
                      const std::string& description) {
        ProcessResult result{true, "", ""};
        {
            std::lock_guard lock(mutex_);
            calls_.push_back({url, arguments, description, std::this_thread::get_id()});
            if (auto found = answers_.find(description); found != answers_.end()) {
                result = found->second;
            }
        }
        log(description + " output: " + result.output);
        log(result.errorOutput.empty() ? description + " done."
                                       : description + " Error output: " + result.errorOutput);
        return result;
    }

    mutable std::mutex mutex_;
    std::map<std::string, ProcessResult> answers_;
    std::vector<Call> calls_;
    platform::Seam<RunProcessFn>::Override override_;
};

// Records the outcome notifications, the thread each arrived on and the log as it was then.
class OutcomeRecorder {
public:
    struct Arrival {
        std::string name;
        std::thread::id thread;
        std::string logAtPost;
    };

    OutcomeRecorder() {
        for (std::string_view name :
             {outcomes::resetSuccess, outcomes::resetFailed, outcomes::uninstallSuccess,
              outcomes::uninstallFailed, outcomes::nimblaDriveRunning}) {
            tokens_.push_back(
                platform::NotificationCenter::defaultCenter().addObserver(name, [this, name] {
                    std::lock_guard lock(mutex_);
                    arrivals_.push_back({std::string(name), std::this_thread::get_id(),
                                         readFile(LogEnvironment::logPath())});
                }));
        }
    }
    ~OutcomeRecorder() {
        for (auto token : tokens_) {
            platform::NotificationCenter::defaultCenter().removeObserver(token);
        }
    }
    std::vector<Arrival> arrivals() const {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const Arrival& arrival : arrivals()) {
            names.push_back(arrival.name);
        }
        return names;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Arrival> arrivals_;
    std::vector<platform::NotificationCenter::Token> tokens_;
};

// Lets every background task end, then runs what they queued on the main queue here, on the
// test's thread, which plays the main thread.
inline void settle() {
    platform::waitForBackgroundIdle();
    platform::mainRunLoop().drain();
}

}  // namespace nimbla::testsupport
