#pragma once

#include <string>
#include <vector>

namespace nimbla::platform {

// Where a child's standard input comes from.
enum class ChildInput {
    Inherit,  // the tool's own descriptor 0
    Null,     // /dev/null
};

// Everything one child gave.
struct ChildOutput {
    bool started = false;         // false: it could not be started, and `launchError` says why
    int launchError = 0;          // an errno value when it could not be started
    bool exitedNormally = false;  // it ended by exiting (not by a signal) and was waited for
    int exitStatus = -1;          // its exit status when it exited normally, else -1
    int signal = 0;               // the signal that ended it, else 0
    std::string out;              // everything on its standard output, unchanged
    std::string err;              // everything on its standard error, unchanged

    bool exitedWithZero() const { return exitedNormally && exitStatus == 0; }
};

// Runs `path` (an absolute path; no PATH search, no shell) with `arguments` after argv[0] = path,
// and waits for it, capturing both output streams whole. Logs nothing.
//
// The child inherits environment and working directory, gets no descriptor but 0, 1 and 2, default
// signal handling and an empty signal mask. Both pipes are drained while it runs, so it never
// blocks on a full pipe. A NUL byte in the path or an argument is a launch failure (EINVAL): the
// string would be cut short silently. A child that exits while a process it started still holds
// the pipes is read for about one more second, then the call returns what it has. Works with any
// of the tool's own standard descriptors closed.
ChildOutput runChild(const std::string& path, const std::vector<std::string>& arguments,
                     ChildInput input);

}  // namespace nimbla::platform
