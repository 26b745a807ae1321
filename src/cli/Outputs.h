#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cli/Progress.h"

namespace nimbla::cli {

// Where the run's output goes. With --json, standard output holds the JSON object only:
// whatever else would go there (the privileged runner's message) goes to standard error until
// the run ends.
class Outputs {
public:
    Outputs(bool json, bool quiet) {
        output.human = !quiet;
        output.colour = ::isatty(STDERR_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
        if (json) {
            std::fflush(stdout);
            output.jsonFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            swapped_ = output.jsonFd >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) >= 0;
        }
    }
    ~Outputs() {
        if (output.jsonFd >= 0) {
            if (swapped_) {
                std::fflush(stdout);
                ::dup2(output.jsonFd, STDOUT_FILENO);
            }
            ::close(output.jsonFd);
        }
    }
    Outputs(const Outputs&) = delete;
    Outputs& operator=(const Outputs&) = delete;

    Output output;
    bool json() const { return output.jsonFd >= 0; }

private:
    bool swapped_ = false;
};

}  // namespace nimbla::cli
