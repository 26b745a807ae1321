#pragma once

// The few things that differ per operating system, each implemented in a file named by the
// system (Foo.linux.cpp beside Foo.darwin.cpp, chosen in CMake). Everything built on them is
// shared. Internal to the platform layer.

#include <spawn.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/ScriptingService.h"
#include "platform/SystemVersion.h"

namespace nimbla::platform::os {

// ChildProcess.<os>.cpp: a pipe with both ends close-on-exec. Returns 0 or the errno value.
int makePipe(int ends[2]);

// ChildProcess.<os>.cpp: starts `path` with `arguments` (argv[0] = path), its stdout and stderr
// on `outFd` and `errFd`, its stdin as `input` says, and no other descriptor of ours; default
// signal handling, empty signal mask; as `runAs` when given. Returns 0 and sets `pid`, or the
// errno value of the failure.
int spawnChild(const std::string& path, const std::vector<std::string>& arguments, ChildInput input,
               int outFd, int errFd, const RunAs* runAs, pid_t& pid);

// Workspace.<os>.cpp: the processes of user `uid` with their executables' paths. Processes that
// end meanwhile or cannot be read are left out.
// With no uid: every user's processes.
struct ProcessEntry {
    pid_t pid = 0;
    std::string executable;
    uid_t uid = 0;
};
std::vector<ProcessEntry> processesOf(std::optional<uid_t> uid);

// Bundle.<os>.cpp: the absolute path of the running executable, links resolved.
std::optional<std::string> ownExecutablePath();

// SystemVersion.<os>.cpp: the running system's version (see operatingSystemVersion()).
OperatingSystemVersion currentSystemVersion();

// ScriptingService.<os>.cpp: runs `command` (a shell command line) with administrator rights
// after the system asked the user, for the tool running without them; `source` is the
// AppleScript statement that says so.
ScriptOutcome runWithAuthorization(const std::string& source, const std::string& command);

// Shared (ScriptingService.cpp): a shell command's outcome as `do shell script` gives it, and
// the user's cancel.
ScriptOutcome shellCommandOutcome(const std::string& program, const ChildOutput& captured);
ScriptOutcome userCanceled();

// Shared (ChildProcess.cpp), for spawnChild: argv for `path` and `arguments`, pointing into
// them. EINVAL when one holds a NUL byte (it would be cut short silently), else 0.
int makeArgv(const std::string& path, const std::vector<std::string>& arguments,
             std::vector<char*>& argv);
// Shared (ChildProcess.cpp): every signal to its default action, none blocked, plus `flags`.
int setDefaultSignals(posix_spawnattr_t& attributes, short flags);

}  // namespace nimbla::platform::os
