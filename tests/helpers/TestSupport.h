#pragma once

// Shared by the tests: sizes that grow in the stress builds, the byte pattern of the test child,
// temporary folders, a private dated log, a scripted command runner and an outcome recorder.
#include <gtest/gtest.h>
#if defined(__APPLE__)
#include <malloc/malloc.h>
#else
#include <malloc.h>
#endif

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "logging/Logger.h"
#include "operations/Outcomes.h"
#include "platform/HomeDirectory.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "process/RunProcess.h"
#include "process/RunProcessAsSudo.h"

#ifndef NIMBLA_STRESS_DIVISOR
#define NIMBLA_STRESS_DIVISOR 0  // the unit build; the stress builds set 1, or more when sanitized
#endif

namespace nimbla::testsupport {

namespace fs = std::filesystem;
constexpr bool kStress = NIMBLA_STRESS_DIVISOR > 0, kSanitized = NIMBLA_STRESS_DIVISOR > 1;
constexpr long long sized(long long unit, long long stress) {
    return kStress ? std::max(unit, stress / std::max(NIMBLA_STRESS_DIVISOR, 1)) : unit;
}

// What the test child writes for "big=N" in each 64 KiB piece: the piece's offset in hex, then
// letters (stdout) or digits (stderr). A lost, doubled or misplaced piece shows at once.
constexpr std::size_t kPiece = 64 * 1024;
inline void patternPiece(int fd, unsigned long long offset, char* piece) {
    std::snprintf(piece, 18, "%016llx", offset);
    for (std::size_t i = 16; i < kPiece; ++i) {
        piece[i] = i == 16 ? ' ' : fd == 1 ? char('a' + i % 26) : char('0' + i % 10);
    }
}

struct TempDir {
    std::string pattern = fs::temp_directory_path() / "nimbla-test-XXXXXX";
    fs::path path = mkdtemp(pattern.data());
    std::error_code ignored;
    ~TempDir() { fs::remove_all(path, ignored); }
    std::string str() const { return path.string(); }
};

// Bytes the allocator has handed out and not taken back.
inline std::size_t heapInUse() {
#if defined(__APPLE__)
    return mstats().bytes_used;
#else
    return mallinfo2().uordblks;
#endif
}

inline std::string readFile(const fs::path& path, std::size_t from = 0) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff(from));
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeExecutable(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, fs::perms(0755));
}

// What reached the process's log from construction on. The log lies in a fresh temporary home
// with a Desktop (or in $NIMBLA_TEST_HOME, prepared from outside) and is dated noon UTC on
// 29 December 2025. Its path is fixed by its first use, so tests make one before anything logs.
struct LogCapture {
    static const std::string& path() {
        static const TempDir dir;
        static const std::string path = [] {
            const char* prepared = std::getenv("NIMBLA_TEST_HOME");
            const std::string home = prepared ? prepared : dir.str();
            fs::create_directory(dir.path / "Desktop");  // unused when prepared
            platform::homeDirectorySeam().replace([home] { return home; });
            platform::clockSeam().replace([] {
                using namespace std::chrono;
                return sys_days{December / 29 / 2025} + 12h;
            });
            std::string path = dest().path();
            platform::clockSeam().replace(platform::clockSeam().real());
            return path;
        }();
        return path;
    }
    std::string appended() const { return readFile(path(), start); }
    std::size_t start = std::max<std::streamoff>(0, std::ifstream(path(), std::ios::ate).tellg());
};

// A session as the window's: the tool's own user (named "me" in reports), logging to the
// process's log, and an observer if given.
inline Session windowLike(StepObserver observer = {}) {
    Session session;
    session.userName = "me";
    session.clientOwner = ::getuid();
    LogCapture::path();  // the log's place is fixed before anything logs
    session.log = &dest();
    session.observer = std::move(observer);
    return session;
}

// Stands in for the process runner: answers each command by its description (success with no
// output unless told otherwise), logs nothing, and records the calls: url and arguments,
// description, thread. Read and change it only while no workflow runs.
struct ScriptedRunner {
    struct Call {
        std::vector<std::string> command;
        std::string description;
        std::thread::id thread;
    };
    LogCapture logged{};
    std::map<std::string, ProcessResult> answers;
    std::vector<Call> calls{};
    std::function<void(const std::string& description)> sideEffect{};  // what a command does
    std::mutex mutex{};
    platform::Seam<RunProcessFn>::Override override = runProcessSeam().override(
        [this](const Session&, auto& url, auto command, auto& description) {
            command.insert(command.begin(), url);
            std::unique_lock lock(mutex);
            calls.push_back({command, description, std::this_thread::get_id()});
            if (sideEffect)
                sideEffect(description);
            return answers.try_emplace(description, ProcessResult{true, "", ""}).first->second;
        });
};

// Records each outcome notification: its name, and the thread it arrived on and the log by then.
struct OutcomeRecorder {
    std::vector<std::string> names;
    std::vector<std::pair<std::thread::id, std::string>> arrivals;
    std::vector<platform::NotificationCenter::Token> tokens;
    platform::NotificationCenter& center = platform::NotificationCenter::defaultCenter();
    OutcomeRecorder() {
        for (std::string_view name :
             {outcomes::resetSuccess, outcomes::resetFailed, outcomes::uninstallSuccess,
              outcomes::uninstallFailed, outcomes::nimblaDriveRunning})
            tokens.push_back(center.addObserver(name, [this, name] {
                names.emplace_back(name);
                arrivals.emplace_back(std::this_thread::get_id(), readFile(LogCapture::path()));
            }));
    }
    ~OutcomeRecorder() {
        for (auto token : tokens) center.removeObserver(token);
    }
};

// Lets the background work end, then runs what it queued for the main queue on this thread,
// which plays the main thread.
inline void settle() {
    platform::waitForBackgroundIdle();
    platform::mainRunLoop().drain();
}

}  // namespace nimbla::testsupport
