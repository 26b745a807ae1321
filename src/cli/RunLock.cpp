#include "cli/RunLock.h"

#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
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
    if (earlierGroupRuns()) {
        state_ = State::Busy;
        ::close(fd_);  // the lock is not this run's to hold
        fd_ = -1;
        return;
    }
    state_ = State::Held;
    writeRecord();
}

RunLock::~RunLock() {
    if (fd_ >= 0) {
        forgetEndedGroups();
        ::close(fd_);
    }
}

// The file: the holder's process id on the first line, then a line "group <id> <leader's start>"
// for each recorded group.
void RunLock::writeRecord() {
    std::string record = std::to_string(::getpid()) + "\n";
    for (const platform::ProcessGroupRecord& group : groups_) {
        record +=
            "group " + std::to_string(group.id) + " " + std::to_string(group.leaderStart) + "\n";
    }
    // Written over the old one before it is cut to length, so it never reads empty.
    if (::pwrite(fd_, record.data(), record.size(), 0) < 0 ||
        ::ftruncate(fd_, off_t(record.size())) != 0) {
        // The lock holds anyway; only what the next run reads is missing.
    }
}

void RunLock::recordGroup(pid_t group) {
    if (state_ == State::Held && group > 0) {
        groups_.push_back(platform::recordOfGroup(group));
        forgetEndedGroups();
        writeRecord();
    }
}

void RunLock::forgetEndedGroups() {
    const std::size_t before = groups_.size();
    std::erase_if(groups_, [](const auto& group) { return !platform::stillHasMembers(group); });
    if (state_ == State::Held && groups_.size() != before) {
        writeRecord();
    }
}

// What an earlier holder recorded: whether one of its groups still has members.
bool RunLock::earlierGroupRuns() {
    char text[4096];
    const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
    std::string_view record(text, n > 0 ? std::size_t(n) : 0);
    while (!record.empty()) {
        const std::string_view line = record.substr(0, record.find('\n'));
        record.remove_prefix(std::min(record.size(), line.size() + 1));
        platform::ProcessGroupRecord group;
        const char* end = line.data() + line.size();
        if (!line.starts_with("group ")) {
            continue;
        }
        const auto id = std::from_chars(line.data() + 6, end, group.id);
        if (id.ec != std::errc() || id.ptr == end ||
            std::from_chars(id.ptr + 1, end, group.leaderStart).ec != std::errc()) {
            continue;
        }
        if (platform::stillHasMembers(group)) {
            runningGroup_ = group.id;
            return true;
        }
    }
    return false;
}

}  // namespace nimbla::cli
