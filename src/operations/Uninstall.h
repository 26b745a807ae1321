#pragma once

#include <optional>
#include <string>

#include "operations/DomainRemoval.h"
#include "operations/Plan.h"
#include "process/Session.h"

namespace nimbla {

// The shell command line that runs the root script at `path`: "sudo " and the path quoted for the
// shell, for an ordinary path exactly "sudo '<path>'". The privileged runner takes it as it is.
std::string privilegedCommandFor(const std::string& path);

// The two uninstall scripts among the tool's resources, when they are there.
std::optional<std::string> userUninstallScript();
std::optional<std::string> privilegedUninstallScript();

// Every command an uninstall runs after the version read, in order: the domain removal chosen
// from the version, "uninstall_nimbla_drive -u -s" as the user, and the administrator script
// through the privileged runner. A script that is not shipped runs nothing and makes the plan
// incomplete.
Plan planUninstall(const ProcessResult& version);

// The message a refused uninstall logs.
inline constexpr const char* kUninstallRefusal = "Nimbla Drive is running, cancelling uninstall";

// An uninstall, in the two halves the window runs on different threads: first the version read
// and the domain removal, then the scripts.
struct UninstallRun {
    Outcome outcome;  // the version and the plan; the name once finished
    bool domainRemoved = false;
};
UninstallRun removeDomainBeforeUninstall(const Session& session);
Outcome runUninstallScripts(const Session& session, UninstallRun run);

// A whole uninstall on the calling thread: refuses while the client runs (logs the refusal,
// outcome NIMBLA_DRIVE_RUNNING), else both halves (outcome UNINSTALL_SUCCESS when the domain
// removal and both scripts succeeded, else UNINSTALL_FAILED).
Outcome uninstall(const Session& session);

// The window's Uninstall: refuses while the client runs; otherwise removes the domain on the
// calling (main) thread, then runs both uninstall scripts on the background queue and posts the
// outcome from the main queue. Returns once the scripts are handed over.
void uninstallNimbla();

}  // namespace nimbla
