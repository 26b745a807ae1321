#include "logging/Logger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DateFormatter.h"
#include "platform/HomeDirectory.h"

namespace nimbla {

std::string logPathFor(const std::string& homeDirectory, platform::TimePoint when) {
    if (homeDirectory.empty()) {
        return {};  // no home folder: nowhere to log
    }
    std::string path = homeDirectory;
    if (path.back() == '/') {
        path.pop_back();  // the root folder
    }
    // Calendar year ("yy"): the week-based "YY" would name 29 December 2025 "26-12-29".
    path += "/Desktop/Nimbla-ResetTool-logs_";
    path += platform::formatDate("yy-MM-dd", when);
    return path;
}

LogDestination::LogDestination() : path_(logPathFor(platform::homeDirectory(), platform::now())) {}

void LogDestination::write(std::string_view text) const {
    if (path_.empty()) {
        return;
    }
    int fd;
    do {
        fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return;  // no Desktop, no permission: the text is dropped
    }
    // One write with O_APPEND lands at the end as a whole, even with other writers at work.
    // Only a full disk or a signal cuts it short; then the rest follows or is dropped.
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (written == 0) {
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    ::close(fd);
}

LogDestination& dest() {
    static LogDestination destination;
    return destination;
}

void log(std::string_view message) {
    std::string line;
    line.reserve(message.size() + 1);
    line.append(message);
    line.push_back('\n');
    dest().write(line);
}

}  // namespace nimbla
