#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ChildProcess.h"

namespace nimbla {

// One command the runners start, as it starts and as it ends. The window leaves the observer
// unset; a front end that reports progress (the command line) sets it.
struct StepEvent {
    enum class Phase { Started, Ended };
    Phase phase = Phase::Started;
    std::string_view description;
    std::string_view program;
    const std::vector<std::string>* arguments = nullptr;
    std::string_view asUser;
    // Only when it ended:
    bool succeeded = false;  // the runner's verdict (exit status 0, output readable)
    bool started = false;    // false: it could not be started; launchError says why
    int launchError = 0;     // an errno value
    int exitStatus = -1;     // when it exited, else -1
    int signal = 0;          // the signal that ended it, else 0
    std::chrono::nanoseconds duration{};
    std::size_t outputBytes = 0;
    std::size_t errorOutputBytes = 0;
    std::string_view output;  // its standard output, valid during the call only
};
using StepObserver = std::function<void(const StepEvent&)>;

// Sets (or, with an empty function, clears) the observer. It is called on the thread that runs
// the command. Set it before any work starts, and leave it while work runs.
void setStepObserver(StepObserver observer);

// Tells the observer, if one is set. For the runners.
void reportStep(const StepEvent& event);

// The user every command of runProcess runs as (the privileged step always runs as root). None,
// the default: the tool's own user. Set it before any work starts.
void setCommandsRunAs(std::optional<platform::RunAs> user);
const std::optional<platform::RunAs>& commandsRunAs();

// The name runProcess's commands run as, fixed by setCommandsRunAs (with none: the tool's own
// user's); "" when it was never called.
const std::string& commandsRunAsName();

}  // namespace nimbla
