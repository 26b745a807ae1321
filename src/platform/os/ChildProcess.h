#pragma once

// Implemented once per system, in ChildProcess.<os>.cpp, on the shared helpers at the end
// (ChildSpawn.cpp). Internal to the platform layer.

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/ChildProcess.h"

namespace nimbla::platform::os {

// A pipe with both ends close-on-exec. Returns 0 or the errno value.
int makePipe(int ends[2]);

// One child to start.
struct SpawnRequest {
    const std::string& path;
    const std::vector<std::string>& arguments;  // after argv[0] = path
    ChildInput input;                           // always Null when `runAs` is given
    int outFd;
    int errFd;
    const RunAs* runAs;        // none: as the tool's own user
    char* const* environment;  // the child's whole environment
    bool ownSession;           // it starts a session of its own (always with `runAs`)
};

// Starts `request.path` with its stdout and stderr on `outFd` and `errFd`, its stdin as `input`
// says, no other descriptor of ours, default signal handling, an empty signal mask and exactly
// `environment`. With `runAs`: as that user, in their home folder. With `runAs` or
// `ownSession`: in a session of its own without a controlling terminal. Returns 0 and sets `pid`,
// or the errno value of the failure.
int spawnChild(const SpawnRequest& request, pid_t& pid);

// Shared: argv for `path` and `arguments`, pointing into them. EINVAL when one holds a NUL byte
// (it would be cut short silently), else 0.
int makeArgv(const std::string& path, const std::vector<std::string>& arguments,
             std::vector<char*>& argv);

// Shared: the environment of a child run as `runAs` (see runChild), else the tool's own with
// PATH /usr/bin:/bin:/usr/sbin:/sbin. Empty when an entry would hold a NUL byte.
std::vector<std::string> environmentFor(const RunAs* runAs);

// Shared: posix_spawn's file actions and attributes for one child, released with it. Standard
// input /dev/null for ChildInput::Null (else the tool's own is left as it is), standard output
// and error on `outFd` and `errFd`; every signal to its default action, none blocked, plus
// `flags`. Steps after the first failure are skipped, and spawn() then returns that failure
// without starting anything.
class SpawnSetup {
public:
    SpawnSetup(ChildInput input, int outFd, int errFd, short flags);
    ~SpawnSetup();
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // One more file action, `add(&actions)`, unless a step failed before; its failure is kept
    // for spawn().
    template <typename Add>
    void addAction(Add add) {
        if (error_ == 0) {
            error_ = add(&actions_);
        }
    }
    // Fails the set-up with `error` (an errno value) unless it failed before.
    void fail(int error) {
        if (error_ == 0) {
            error_ = error;
        }
    }
    // posix_spawn with what was set up, or the first failure of the set-up.
    int spawn(const std::string& path, char* const* argv, char* const* environment, pid_t& pid);

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
    bool actionsReady_ = false;
    bool attributesReady_ = false;
    int error_ = 0;
};

}  // namespace nimbla::platform::os
