#include "logging/Logger.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "platform/DateFormatter.h"
#include "platform/HomeDirectory.h"
#include "platform/SafeFile.h"

namespace nimbla {

namespace {

int openRetrying(int folder, const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::openat(folder, path, flags | O_CLOEXEC | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

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

// Written as root for a user: nothing on the way is followed, and the file must be the user's,
// since the user could have put a link, a FIFO or another's file in its place.
int LogDestination::openForOwner(const Owner& owner) const {
    return platform::openSafely(path_, {.ownerUid = owner.uid,
                                        .ownerGid = owner.gid,
                                        .access = platform::SafeFileOptions::Access::Append,
                                        .fileMode = 0644})
        .fd;
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
    std::string copied;
    if (copy_) {
        for (std::size_t i = 0; i < count; ++i) {
            copied.append(static_cast<const char*>(vectors[i].iov_base), vectors[i].iov_len);
        }
    }
    const int fd = owner_
                       ? openForOwner(*owner_)
                       : openRetrying(AT_FDCWD, path_.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0) {
        if (!copied.empty()) {
            copy_(copied);
        }
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
    if (!copied.empty()) {
        copy_(copied);
    }
}

LogDestination& dest() {
    static LogDestination destination;
    return destination;
}

}  // namespace nimbla
