#pragma once

#include <sys/types.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace nimbla {

// The dated, append-only log file on the user's Desktop:
//   <home>/Desktop/Nimbla-ResetTool-logs_<yy-MM-dd>
// The path is fixed when the destination is created, so a run that crosses midnight keeps
// writing to the file of the day it started.
class LogDestination {
public:
    // Computes the path from the home folder and the clock seams. Touches no file.
    LogDestination();
    explicit LogDestination(std::string path) : path_(std::move(path)) {}

    // Appends `text` to the file as one write on a descriptor opened with O_APPEND, creating the
    // file when it is missing and never truncating it. Appends from several threads never tear
    // or overwrite each other. Keeps nothing open between calls. Never reports failure: with a
    // missing or unwritable Desktop, or a full disk, the text is silently dropped.
    void write(std::string_view text) const;

    // Appends the pieces one after the other, as one append exactly like write() of their
    // concatenation, without joining them first: a line that holds a large output costs no copy.
    void writePieces(std::initializer_list<std::string_view> pieces) const;

    const std::string& path() const { return path_; }

    // Writes as root on behalf of the user `uid`, in that user's own folder: the Desktop and the
    // file are never reached through a symbolic link, the file must be a regular file with one
    // link, and a file this creates is given to uid:gid. Set it before anything is logged.
    void setOwner(uid_t uid, gid_t gid) { owner_ = Owner{uid, gid}; }

    // Also hands every appended text, after it went to the file (or could not), to `copy`.
    // Set it before anything is logged; it is called on the logging thread.
    void setCopy(std::function<void(std::string_view text)> copy) { copy_ = std::move(copy); }

private:
    struct Owner {
        uid_t uid;
        gid_t gid;
    };
    int openForOwner(const Owner& owner) const;

    std::string path_;
    std::optional<Owner> owner_;
    std::function<void(std::string_view)> copy_;
};

// The log path for a home folder and a moment: the calendar year, not the week-based one.
std::string logPathFor(const std::string& homeDirectory, platform::TimePoint when);

// The window's log destination: the user's own, created on first use (thread-safe) and never
// replaced.
LogDestination& dest();

}  // namespace nimbla
