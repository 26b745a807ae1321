#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "cli/Report.h"

namespace nimbla::cli {

// The one rule for names in the lines root writes (the --log file, the text report, the
// recipes' summaries, the uninstall scripts' own messages): every control character (a byte
// below 0x20, or 0x7f) shows as "?", so that no name can start a line of its own or move the
// cursor. JSON keeps the real bytes.
std::string controlsShown(std::string_view text);

// The --log file: every log line of the run, each prefixed with the UTC time and the user.
class LogCopy {
public:
    // Opens `path` for appending, as root writes where others may: nothing on the way followed,
    // only a regular file with one name that belongs to the tool's own user (root) and that no
    // one else may write; created 0640 when missing. Null, with `problem` set, when it cannot be
    // used.
    static std::unique_ptr<LogCopy> open(const std::string& path, std::string user,
                                         std::string& problem);
    ~LogCopy();
    LogCopy(const LogCopy&) = delete;
    LogCopy& operator=(const LogCopy&) = delete;

    // Appends `text` (one or more lines, each ended by "\n") with each line prefixed and its
    // control characters shown as controlsShown does.
    void append(std::string_view text);

    // Appends the Desktop log's `text`. Its "<step> done." line waits for the step's own line
    // (stepEnded) and is dropped there when the step was not done: one a signal ended, or that
    // failed without the run taking it as done.
    void mirror(std::string_view text);

    // Appends the line of a step as it ended (stepLine).
    void stepEnded(const StepRecord& step);

    // A step as a ticket needs it: the command as run, quoted as a shell would, as whom, how it
    // ended, how long it took and the run's verdict:
    //   Step "<description>": <command line>, as <user>: exit 1, 12 ms, counted as done
    static std::string stepLine(const StepRecord& step);

    // The user each line names from now on.
    void setUser(std::string user);

private:
    LogCopy(int fd, std::string user) : fd_(fd), user_(std::move(user)) {}
    void write(std::string_view text);  // with the mutex held
    void writeHeld();                   // with the mutex held

    std::mutex mutex_;
    int fd_;
    std::string user_;
    std::string held_;  // a "<step> done." line of the Desktop log
};

}  // namespace nimbla::cli
