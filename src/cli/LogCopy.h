#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

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

    // The user each line names from now on.
    void setUser(std::string user);

private:
    LogCopy(int fd, std::string user) : fd_(fd), user_(std::move(user)) {}

    std::mutex mutex_;
    int fd_;
    std::string user_;
};

}  // namespace nimbla::cli
