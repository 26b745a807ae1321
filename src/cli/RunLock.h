#pragma once

#include <sys/types.h>

#include <string>

namespace nimbla::cli {

// One reset or uninstall per user at a time: an exclusive lock, holding the holder's process id,
// on
//   <home>/Library/Caches/com.nimbla.resettool/nimbla-reset.lock   (UsersHome)
// in the user's own home for a user's own run, and on
//   /var/run/nimbla-reset/<uid>.lock                                (RootsFolder)
// for a run as root for the user (the folder root's, 0700), so that the user can neither hold nor
// release it. The two do not exclude each other. Opened with platform::openSafely: no link on the
// way but root's own, the file a regular file with one name owned by whoever the lock is for
// (the user, or root), and what this creates belongs to them; so another local user can neither
// plant nor redirect it. The file stays after the run (deleting it would race with the next run).
class RunLock {
public:
    enum class State { Held, Busy, Failed };
    enum class Place { UsersHome, RootsFolder };

    RunLock(const std::string& home, uid_t uid, gid_t gid, Place place = Place::UsersHome);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    State state() const { return state_; }
    pid_t holder() const { return holder_; }                 // when Busy: the other run, if it said
    const std::string& problem() const { return problem_; }  // when Failed
    static std::string pathIn(const std::string& home);
    static std::string rootsPathFor(uid_t uid);

private:
    State state_ = State::Failed;
    int fd_ = -1;
    pid_t holder_ = 0;
    std::string problem_;
};

}  // namespace nimbla::cli
