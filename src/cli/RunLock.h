#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/ProcessGroup.h"

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
//
// The lock outlives a run killed outright: the process group of each command the run starts is
// recorded in the file while it has members, and a later run that gets the lock but finds such a
// group still there counts the lock as held (Busy, naming the group) and changes nothing.
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
    // When Busy although the lock was free: a process group an earlier run started that still
    // has members; else 0.
    pid_t runningGroup() const { return runningGroup_; }
    static std::string pathIn(const std::string& home);
    static std::string rootsPathFor(uid_t uid);

    // While Held: records the process group a command of this run leads, as it starts.
    void recordGroup(pid_t group);
    // While Held: drops the recorded groups that have no members left (as a command ends, and
    // at the end of the run).
    void forgetEndedGroups();

private:
    bool earlierGroupRuns();
    void writeRecord();

    State state_ = State::Failed;
    int fd_ = -1;
    pid_t holder_ = 0;
    pid_t runningGroup_ = 0;
    std::vector<platform::ProcessGroupRecord> groups_;
    std::string problem_;
};

}  // namespace nimbla::cli
