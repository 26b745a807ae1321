#pragma once

#include <mutex>
#include <string_view>
#include <vector>

#include "cli/Options.h"
#include "cli/Report.h"

namespace nimbla::cli {

// Writes `text` whole to `fd`, retrying after signals; gives up quietly on an error. True when
// all of it was written.
bool writeAll(int fd, std::string_view text);

// Where one run's output goes.
struct Output {
    bool human = true;  // progress and the closing line on standard error
    bool colour = false;
    int jsonFd = -1;  // where the JSON object goes (the original standard output)
};

// Records each step as it ends and prints its line.
class StepLog {
public:
    explicit StepLog(const Output& output) : output_(output) {}

    void ended(const StepEvent& event);
    std::vector<StepRecord> steps();

private:
    const Output& output_;
    std::mutex mutex_;
    std::vector<StepRecord> steps_;
};

}  // namespace nimbla::cli
