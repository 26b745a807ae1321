#include "cli/LogCopy.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "cli/Progress.h"
#include "platform/SafeFile.h"

namespace nimbla::cli {

std::string controlsShown(std::string_view text) {
    std::string shown(text);
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return shown;
}

std::unique_ptr<LogCopy> LogCopy::open(const std::string& path, std::string user,
                                       std::string& problem) {
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(path, error).string();
    const platform::SafeFile file =
        platform::openSafely(absolute, {.ownerUid = ::geteuid(),
                                        .ownerGid = ::getegid(),
                                        .access = platform::SafeFileOptions::Access::Append,
                                        .fileMode = 0640,
                                        .rootGroupMayWrite = true});
    if (file.fd < 0) {
        problem = "cannot use the log file: " + file.problem;
        return nullptr;
    }
    return std::unique_ptr<LogCopy>(new LogCopy(file.fd, std::move(user)));
}

LogCopy::~LogCopy() {
    writeHeld();
    ::close(fd_);
}

void LogCopy::append(std::string_view text) {
    std::lock_guard lock(mutex_);
    writeHeld();
    write(text);
}

void LogCopy::mirror(std::string_view text) {
    std::lock_guard lock(mutex_);
    writeHeld();
    if (text.ends_with(" done.\n") && text.find('\n') == text.size() - 1) {
        held_ = text;
    } else {
        write(text);
    }
}

void LogCopy::stepEnded(const StepRecord& step) {
    std::lock_guard lock(mutex_);
    if (!step.succeeded && held_ == step.description + " done.\n") {
        held_.clear();
    }
    writeHeld();
    write(stepLine(step));
}

std::string LogCopy::stepLine(const StepRecord& step) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.0f ms", step.durationMs);
    const std::string verdict = step.countedAsDone ? "counted as done"
                                : step.succeeded   ? "done"
                                                   : "not done";
    return "Step \"" + step.description + "\": " + shellLine(step.program, step.arguments) +
           ", as " + step.asUser + ": " + howItEnded(step) + ", " + duration + ", " + verdict +
           "\n";
}

void LogCopy::writeHeld() {
    if (!held_.empty()) {
        const std::string held = std::move(held_);
        held_.clear();
        write(held);
    }
}

void LogCopy::write(std::string_view text) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char stamp[40];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(stamp + length, sizeof stamp - length, ".%03dZ", static_cast<int>(millis));
    const std::string prefix = std::string(stamp) + " " + user_ + " ";
    std::string lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        lines += prefix;
        lines += controlsShown(line);
        lines += '\n';
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    writeAll(fd_, lines);
}

void LogCopy::setUser(std::string user) {
    std::lock_guard lock(mutex_);
    user_ = std::move(user);
}

}  // namespace nimbla::cli
