#include "cli/LogCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "cli/Progress.h"

namespace nimbla::cli {

std::unique_ptr<LogCopy> LogCopy::open(const std::string& path, std::string user,
                                       std::string& problem) {
    const int fd = ::open(
        path.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0640);
    struct stat st {};
    if (fd < 0) {
        problem = "cannot open the log file " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        problem = "the log file " + path + " is not a regular file with one name";
        return nullptr;
    }
    return std::unique_ptr<LogCopy>(new LogCopy(fd, std::move(user)));
}

LogCopy::~LogCopy() {
    ::close(fd_);
}

void LogCopy::append(std::string_view text) {
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
    std::lock_guard lock(mutex_);
    const std::string prefix = std::string(stamp) + " " + user_ + " ";
    std::string lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        lines += prefix;
        lines += line;
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
