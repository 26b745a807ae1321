#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbla {

// One command the runners start, as it starts and as it ends. The window has no observer; a
// front end that reports progress (the command line) gives its session one.
struct StepEvent {
    enum class Phase { Started, Ended };
    Phase phase = Phase::Started;
    std::string_view description;
    std::string_view program;
    const std::vector<std::string>* arguments = nullptr;
    std::string_view asUser;
    // Only when it ended:
    bool succeeded = false;    // the runner's verdict (exit status 0, output readable)
    bool started = false;      // false: it could not be started; launchError says why
    int launchError = 0;       // an errno value
    std::string_view refusal;  // when the tool itself would not start it: why, else empty
    int exitStatus = -1;       // when it exited, else -1
    int signal = 0;            // the signal that ended it, else 0
    std::chrono::nanoseconds duration{};
    std::size_t outputBytes = 0;
    std::size_t errorOutputBytes = 0;
    std::string_view output;       // its standard output, valid during the call only
    std::string_view errorOutput;  // its standard error, valid during the call only
    // It failed, but the workflow takes it as done (what it removes was already gone).
    bool countedAsDone = false;
};
using StepObserver = std::function<void(const StepEvent&)>;

}  // namespace nimbla
