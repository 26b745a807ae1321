#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace nimbla::platform {

// A process group a run started, as a later run finds it again: its id (its leader's process id)
// and when its leader started. The start tells the leader from a later process that was given the
// same id once the group had gone and then made a group of its own.
struct ProcessGroupRecord {
    pid_t id = 0;
    std::uint64_t leaderStart = 0;  // 0: not known
};

// The record of group `group` while its leader runs (the leader's start unknown when it has gone).
ProcessGroupRecord recordOfGroup(pid_t group);

// Whether the recorded group still has a member that has not ended (a zombie, ended and waiting
// to be collected, does not count; a member of another user's does). A group whose id now belongs
// to a leader that started at another time is not the one recorded: the id was given out again
// after the recorded group had gone. With the leader gone and members left it counts as the same
// group, since no process is given a group's id while that group has members; so only a group made
// with a recycled id whose own leader has since ended is mistaken for the recorded one, and only
// until that group ends.
bool stillHasMembers(const ProcessGroupRecord& group);

// Sends `signal` to every member of process group `group` this process may signal; false when it
// reached none.
bool signalGroup(pid_t group, int signal);

}  // namespace nimbla::platform
