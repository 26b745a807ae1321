#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Seam.h"
#include "process/Session.h"

namespace nimbla {

// What one command gave.
struct ProcessResult {
    bool succeeded = false;   // stdout decoded as UTF-8 and the child exited with status 0
    std::string output;       // everything on stdout, unchanged; "" when it did not decode
    std::string errorOutput;  // stderr when it decoded and is non-empty, else ""; the fixed
                              // "Error in reading standard output data" when stdout did not decode
    bool operator==(const ProcessResult&) const = default;
};

inline constexpr const char* kStdoutDecodeError = "Error in reading standard output data";

// Runs `url` (an absolute path; no PATH search, no shell) with `arguments` as the session says
// (as its user, when it has one), waits for it, and logs its output under `description` to the
// session's log:
//   description + " output: " + output, then
//   description + " Error output: " + errorOutput   or   description + " done."
// When stdout is not valid UTF-8 nothing is logged, the 37 bytes of kStdoutDecodeError go to the
// tool's own stderr, and the result is (false, "", kStdoutDecodeError).
//
// Without a user to run as, the child inherits environment, working directory and stdin, and
// gets no descriptor but 0, 1 and 2. The session's observer hears of it as it starts and ends. Both
// pipes are drained while it runs, so it can never block on a full pipe. A launch failure (missing
// file, not executable, a directory) is a child that wrote nothing and failed. A child killed by a
// signal has failed. A child that exits while a process it started still holds the pipes is read
// for about one more second, then the call returns what it has.
ProcessResult runProcess(const Session& session, const std::string& url,
                         const std::vector<std::string>& arguments, const std::string& description);

// Writes `text` whole to the tool's own descriptor `fd` (standard output or error). When that is
// a pipe nobody reads any more, the write stops with EPIPE and the SIGPIPE it raises is held back
// and discarded, so the tool carries on.
void writeSurvivingBrokenPipe(int fd, std::string_view text);

// The seam through which the workflows run commands; the default is runProcess.
using RunProcessFn = ProcessResult(const Session&, const std::string&,
                                   const std::vector<std::string>&, const std::string&);
platform::Seam<RunProcessFn>& runProcessSeam();

}  // namespace nimbla
