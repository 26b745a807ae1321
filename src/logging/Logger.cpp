#include "logging/Logger.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

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
    writePieces({text});
}

void LogDestination::writePieces(std::initializer_list<std::string_view> pieces) const {
    if (path_.empty()) {
        return;
    }
    // A log line has a handful of pieces; more than that is allowed, only slower.
    std::array<iovec, 8> onStack;
    std::vector<iovec> onHeap(pieces.size() > onStack.size() ? pieces.size() : 0);
    iovec* const vectors = onHeap.empty() ? onStack.data() : onHeap.data();
    std::size_t count = 0;
    for (const std::string_view piece : pieces) {
        if (!piece.empty()) {
            vectors[count++] = {const_cast<char*>(piece.data()), piece.size()};
        }
    }
    int fd;
    do {
        fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return;  // no Desktop, no permission: the text is dropped
    }
    // One writev with O_APPEND lands at the end as a whole, even with other writers at work.
    // Only a full disk, a signal or a size beyond what one call takes cuts it short; then the
    // rest follows or is dropped.
    iovec* next = vectors;
    while (count > 0) {
        const ssize_t written =
            ::writev(fd, next, static_cast<int>(std::min<std::size_t>(count, IOV_MAX)));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (written == 0) {
            break;
        }
        auto done = static_cast<std::size_t>(written);
        while (count > 0 && done >= next->iov_len) {
            done -= next->iov_len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    ::close(fd);
}

LogDestination& dest() {
    static LogDestination destination;
    return destination;
}

void log(std::string_view message) {
    dest().writePieces({message, "\n"});
}

}  // namespace nimbla
