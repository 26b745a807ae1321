#pragma once

#include <sys/types.h>

#include <string>

namespace nimbla::cli {

// One reset or uninstall per user at a time: an exclusive lock on
//   <home>/Library/Caches/com.nimbla.resettool/nimbla-reset.lock
// in the target user's own home, holding the holder's process id. No folder or file on the way is
// reached through a symbolic link, the file must be a regular file with one link owned by that
// user, and what this creates belongs to that user; so another local user can neither plant nor
// redirect it. The file stays after the run (deleting it would race with the next run).
class RunLock {
public:
    enum class State { Held, Busy, Failed };

    RunLock(const std::string& home, uid_t uid, gid_t gid);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    State state() const { return state_; }
    pid_t holder() const { return holder_; }                 // when Busy: the other run, if it said
    const std::string& problem() const { return problem_; }  // when Failed
    static std::string pathIn(const std::string& home);

private:
    State state_ = State::Failed;
    int fd_ = -1;
    pid_t holder_ = 0;
    std::string problem_;
};

}  // namespace nimbla::cli
