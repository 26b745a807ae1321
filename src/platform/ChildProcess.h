#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace nimbla::platform {

// Where a child's standard input comes from.
enum class ChildInput {
    Inherit,  // the tool's own descriptor 0
    Null,     // /dev/null
};

// A child's environment, for one that runs as the tool's own user.
enum class ChildEnvironment {
    Inherit,     // the tool's own
    SystemPath,  // the tool's own with PATH /usr/bin:/bin:/usr/sbin:/sbin (root's own steps)
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

// The user a child runs as, for the tool running as root.
struct RunAs {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;  // supplementary groups
    std::string user;
    std::string home;
    std::string shell = {};  // the login shell; "" stands for /bin/sh
};

// Runs `path` (an absolute path; no PATH search, no shell) with `arguments` after argv[0] = path,
// and waits for it, capturing both output streams whole. Logs nothing.
//
// The child inherits working directory and environment (as `environment` says), gets no descriptor
// but 0, 1 and 2, default signal handling and an empty signal mask. Both pipes are drained while it
// runs, so it never blocks on a full pipe. A NUL byte in the path or an argument is a launch
// failure (EINVAL): the string would be cut short silently. A child that exits while a process it
// started still holds the pipes is read for about one more second, then the call returns what it
// has. Works with any of the tool's own standard descriptors closed.
//
// With `runAs` (only meaningful as root) the child runs as that user, who is not trusted: their
// uid, gid and supplementary groups, their home as working directory, in a session of its own
// without a controlling terminal (it can never reach the tool's terminal), standard input
// /dev/null whatever `input` says, and an environment built from nothing:
//   PATH=/usr/bin:/bin:/usr/sbin:/sbin, HOME, USER, LOGNAME and SHELL from `runAs`, and LANG,
//   LC_* and TZ carried over from the tool's. No TMPDIR: macOS's per-user one cannot be asked
//   for on the user's behalf, and a program that wants it asks confstr itself.
// On macOS it is started per user through `launchctl asuser` and `sudo -H`, which adds only what
// it sets itself (MAIL, SUDO_*). `environment` applies only without `runAs`.
//
// `watch`, when given, is told the child's process id once it runs and 0 once it has been waited
// for, so a front end can pass a signal meanwhile to everything the child started: a watched
// child starts a session of its own, as another user's child does, and so leads a process group
// of its own without a controlling terminal (sudo under it then keeps its command in that group,
// where a terminal would have it start a session of its own for its command). Its standard input
// is then /dev/null whatever `input` says.
using ChildWatch = std::function<void(pid_t)>;
ChildOutput runChild(const std::string& path, const std::vector<std::string>& arguments,
                     ChildInput input, const RunAs* runAs = nullptr,
                     ChildEnvironment environment = ChildEnvironment::Inherit,
                     const ChildWatch* watch = nullptr);

}  // namespace nimbla::platform
