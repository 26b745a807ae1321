#pragma once

#include <string>

#include "operations/Plan.h"
#include "process/RunProcess.h"

namespace nimbla {

// What the version read runs ("Reading tolu version from defaults").
PlannedStep versionReadStep();

// Reads the installed client's version (/usr/bin/defaults read ... CFBundleShortVersionString),
// logged as every command.
ProcessResult readClientVersion(const Session& session);

// The client's version as a read gave it, its line end removed; none when it could not be read.
std::optional<std::string> versionText(const ProcessResult& read);

// The domain removal's command (program and arguments), chosen from the version read:
//  - version unreadable, or macOS older than 12: /bin/bash -c "fileproviderctl domain remove ..."
//  - else the client's own tool with the archive flag for versions below 2.36.74 and the preserve
//    flag from 2.36.74 on. Versions compare numerically, component by component; text that does
//    not start with a number counts as older (archive).
// The operating system is probed only when the version could be read.
Command getDomainRemovalAndArchiveArguments(const ProcessResult& version);

// Runs `command` as the step "Removing Nimbla domain" and judges it: done when it succeeded or
// reported that there was no domain to remove. The step is planned here and run by the workflow's
// executor, so a dry run shows it unchanged.
PlannedStep removeDomainAndArchiveUnsyncedFiles(const Command& command);

// True when the running operating system is older than 12.0.0. Runs no command.
bool isMacOS11orLess();

// Negative, zero or positive as `version` (e.g. "2.40.1\n") is older than, equal to or newer
// than `threshold` ("2.36.74"). One trailing line end is ignored; missing components count as 0;
// text that does not start with a digit is older than any threshold.
int compareVersions(const std::string& version, const std::string& threshold);

}  // namespace nimbla
