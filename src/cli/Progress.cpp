#include "cli/Progress.h"

#include <unistd.h>

#include <cerrno>

namespace nimbla::cli {

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void StepLog::ended(const StepEvent& event) {
    StepRecord step = StepRecord::from(event);
    std::lock_guard lock(mutex_);
    if (output_.human) {
        writeAll(STDERR_FILENO, stepLine(step, output_.colour));
    }
    steps_.push_back(std::move(step));
}

std::vector<StepRecord> StepLog::steps() {
    std::lock_guard lock(mutex_);
    return steps_;
}

}  // namespace nimbla::cli
