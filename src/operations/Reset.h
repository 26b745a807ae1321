#pragma once

#include <map>
#include <string>
#include <vector>

#include "process/RunProcess.h"

namespace nimbla {

// The removal command: "url" holds one element (the executable's absolute path), "parameters"
// its arguments in order.
using RemovalCommand = std::map<std::string, std::vector<std::string>>;

// Reads the installed client's version (/usr/bin/defaults read ... CFBundleShortVersionString)
// and chooses how to remove the file-provider domain:
//  - version unreadable, or macOS older than 12: /bin/bash -c "fileproviderctl domain remove ..."
//  - else the client's own tool with the archive flag for versions below 2.36.74 and the preserve
//    flag from 2.36.74 on. Versions compare numerically, component by component; text that does
//    not start with a number counts as older (archive).
// Never fails.
RemovalCommand getDomainRemovalAndArchiveArguments();

// The two halves of the above: the version read ("Reading tolu version from defaults", logged as
// every command), and the choice it leads to.
ProcessResult readClientVersion();
RemovalCommand domainRemovalFor(const ProcessResult& version);

// One command a workflow runs, as a front end shows it before running anything.
struct PlannedStep {
    std::string description;
    std::string program;
    std::vector<std::string> arguments;
    bool asAdministrator = false;  // runs as root; else as the user the commands run as
};

// What the version read runs.
PlannedStep versionReadStep();
// The domain removal for a chosen command.
PlannedStep domainRemovalStep(const RemovalCommand& command);
// Every command a reset runs after the version read, in order.
std::vector<PlannedStep> resetSteps(const RemovalCommand& command);

// Runs the chosen command ("Removing Nimbla domain"). True when it succeeded or reported that
// there was no domain to remove. An empty `url` runs nothing and gives false.
bool removeDomainAndArchiveUnsyncedFiles(const std::vector<std::string>& params,
                                         const std::vector<std::string>& url);

// True when the running operating system is older than 12.0.0. Runs no command.
bool isMacOS11orLess();

// Negative, zero or positive as `version` (e.g. "2.40.1\n") is older than, equal to or newer
// than `threshold` ("2.36.74"). One trailing line end is ignored; missing components count as 0;
// text that does not start with a digit is older than any threshold.
int compareVersions(const std::string& version, const std::string& threshold);

// Reset: refuses while the client runs (logs "Please quit Nimbla Drive before attempting to
// reset" and posts NIMBLA_DRIVE_RUNNING), else runs the three stages on the background queue and
// posts RESET_SUCCESS or RESET_FAILED from the main queue after the final log line. With
// preUninstallReset true: no running check and nothing posted. Returns at once.
void resetNimbla(bool preUninstallReset = false);

}  // namespace nimbla
