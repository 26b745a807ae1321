#include "cli/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace nimbla::cli {

namespace {

constexpr const char* kFolders[] = {"Library", "Caches", "com.nimbla.resettool"};
constexpr const char* kFileName = "nimbla-reset.lock";

// Opens (creating it when missing, for the user) the folder `name` inside `parent`, never through
// a link, and only when it belongs to the user or to root.
int openFolder(int parent, const char* name, uid_t uid, gid_t gid) {
    if (::mkdirat(parent, name, 0700) == 0) {
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::fchown(fd, uid, gid) != 0 && ::geteuid() == 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    if (errno != EEXIST) {
        return -1;
    }
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || (st.st_uid != uid && st.st_uid != 0))) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

}  // namespace

std::string RunLock::pathIn(const std::string& home) {
    std::string path = home == "/" ? "" : home;
    for (const char* folder : kFolders) {
        path += "/";
        path += folder;
    }
    return path + "/" + kFileName;
}

RunLock::RunLock(const std::string& home, uid_t uid, gid_t gid) {
    int folder = ::open(home.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const char* name : kFolders) {
        if (folder < 0) {
            break;
        }
        const int inner = openFolder(folder, name, uid, gid);
        ::close(folder);
        folder = inner;
    }
    if (folder < 0) {
        problem_ =
            "cannot open the lock's folder for " + pathIn(home) + ": " + std::strerror(errno);
        return;
    }
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    fd_ = ::openat(folder, kFileName, flags | O_CREAT | O_EXCL, 0600);
    const bool created = fd_ >= 0;
    if (!created && errno == EEXIST) {
        fd_ = ::openat(folder, kFileName, flags);
    }
    const int openError = errno;
    ::close(folder);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        problem_ = "cannot open the lock " + pathIn(home) + ": " + std::strerror(openError);
        return;
    }
    if (created && ::fchown(fd_, uid, gid) != 0 && ::geteuid() == 0) {
        problem_ = "cannot give the lock " + pathIn(home) + " to its user";
        return;
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || (!created && st.st_uid != uid)) {
        problem_ = "the lock " + pathIn(home) + " is not a plain file of its user; remove it";
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            state_ = State::Busy;
            char text[32] = {};
            const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
            if (n > 0) {
                std::from_chars(text, text + n, holder_);
            }
        } else {
            problem_ = "cannot lock " + pathIn(home) + ": " + std::strerror(errno);
        }
        return;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.data(), pid.size(), 0) < 0) {
        // The lock holds anyway; only the process id for the next run is missing.
    }
    state_ = State::Held;
}

RunLock::~RunLock() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace nimbla::cli
