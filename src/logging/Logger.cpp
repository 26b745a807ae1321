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

// The home folder is the account's own, from the user database; below it nothing is followed:
// the user could have put a link in place of the Desktop or of the file.
int LogDestination::openForOwner(const Owner& owner) const {
    const std::size_t fileSlash = path_.rfind('/');
    const std::size_t desktopSlash = fileSlash == 0 || fileSlash == std::string::npos
                                         ? std::string::npos
                                         : path_.rfind('/', fileSlash - 1);
    if (desktopSlash == std::string::npos) {
        return -1;
    }
    const std::string home = desktopSlash == 0 ? "/" : path_.substr(0, desktopSlash);
    const std::string desktop = path_.substr(desktopSlash + 1, fileSlash - desktopSlash - 1);
    const std::string name = path_.substr(fileSlash + 1);
    const int homeFd = openRetrying(AT_FDCWD, home.c_str(), O_RDONLY | O_DIRECTORY);
    if (homeFd < 0) {
        return -1;
    }
    const int desktopFd =
        openRetrying(homeFd, desktop.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    ::close(homeFd);
    if (desktopFd < 0) {
        return -1;
    }
    // Non-blocking, so a FIFO planted in its place can never hold the run; it fails the check
    // below.
    const int writeFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK;
    int fd = openRetrying(desktopFd, name.c_str(), writeFlags | O_CREAT | O_EXCL, 0644);
    const bool created = fd >= 0;
    if (!created && errno == EEXIST) {
        fd = openRetrying(desktopFd, name.c_str(), writeFlags);
    }
    ::close(desktopFd);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
                    (created && ::fchown(fd, owner.uid, owner.gid) != 0))) {
        ::close(fd);
        return -1;
    }
    return fd;
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
