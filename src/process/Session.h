#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "logging/Logger.h"
#include "platform/ChildProcess.h"
#include "process/Steps.h"

namespace nimbla {

// One run of a workflow, as a front end sets it up: whose client, as whom the commands run,
// where the log goes and who hears of each step. Built once and passed down with every call;
// nothing of it is kept anywhere else.
struct Session {
    // The user the commands run as (the tool running as root for someone); none: the tool's
    // own user, with its own identity and environment.
    std::optional<platform::RunAs> runAs;
    // The name the commands run as, as reports show it.
    std::string userName;
    // The home folder of the user whose client it is.
    std::string home;
    // Whose running client counts: that user's processes.
    uid_t clientOwner = 0;
    // Where every message and command output goes; none: nothing is logged anywhere.
    const LogDestination* log = nullptr;
    // Told of each command as it starts and ends, on the thread that runs it; may be empty.
    StepObserver observer;
    // Once this holds a signal number, no further step starts, and a running command is passed
    // the signal. None: the run cannot be interrupted from outside.
    const std::atomic<int>* interruption = nullptr;
    // Told of each command's process id as it starts running and of 0 once it ended.
    platform::ChildWatch childWatch;
    // Takes the privileged runner's message after a success ("sudo script completed
    // successfully!" and the script's output); none: it goes to standard output, as the window's.
    std::function<void(std::string_view)> privilegedMessage;

    bool interrupted() const { return interruption != nullptr && interruption->load() != 0; }
};

// Tells the session's observer of `event`, if it has one. For the runners.
inline void reportStep(const Session& session, const StepEvent& event) {
    if (session.observer) {
        session.observer(event);
    }
}

// Logs one complete message: `message` followed by "\n", appended to the session's log in a
// single write.
inline void log(const Session& session, std::string_view message) {
    if (session.log != nullptr) {
        session.log->writePieces({message, "\n"});
    }
}

}  // namespace nimbla
