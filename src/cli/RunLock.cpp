#include "cli/RunLock.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/SafeFile.h"

namespace nimbla::cli {

namespace {

constexpr const char* kFolders[] = {"Library", "Caches", "com.nimbla.resettool"};
constexpr const char* kFileName = "nimbla-reset.lock";
constexpr const char* kRootsFolder = "/var/run/nimbla-reset";

}  // namespace

std::string RunLock::pathIn(const std::string& home) {
    std::string path = home == "/" ? "" : home;
    for (const char* folder : kFolders) {
        path += "/";
        path += folder;
    }
    return path + "/" + kFileName;
}

std::string RunLock::rootsPathFor(uid_t uid) {
    return std::string(kRootsFolder) + "/" + std::to_string(uid) + ".lock";
}

RunLock::RunLock(const std::string& home, uid_t uid, gid_t gid, Place place) {
    const bool roots = place == Place::RootsFolder;
    const std::string path = roots ? rootsPathFor(uid) : pathIn(home);
    platform::SafeFile file =
        platform::openSafely(path, {.ownerUid = roots ? 0 : uid,
                                    .ownerGid = roots ? 0 : gid,
                                    .access = platform::SafeFileOptions::Access::ReadWrite,
                                    .fileMode = 0600,
                                    .folderMode = 0700});
    fd_ = file.fd;
    if (fd_ < 0) {
        problem_ = "cannot use the lock: " + file.problem + "; remove it";
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
            problem_ = "cannot lock " + path + ": " + std::strerror(errno);
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
