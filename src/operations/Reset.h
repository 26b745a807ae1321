#pragma once

#include "operations/DomainRemoval.h"
#include "operations/Plan.h"
#include "process/Session.h"

namespace nimbla {

// Every command a reset runs after the version read, in order: the domain removal chosen from
// the version, the preferences ("Deleting com.nimbla.desktop defaults"), the Application Support
// folder ("Removing Application Support Nimbla folder").
Plan planReset(const ProcessResult& version);

// The message a refused reset logs.
inline constexpr const char* kResetRefusal = "Please quit Nimbla Drive before attempting to reset";

// A whole reset on the calling thread: refuses while the client runs (logs the refusal, outcome
// NIMBLA_DRIVE_RUNNING), else logs "Starting Nimbla Drive reset", reads the version, runs the
// plan and logs "Reset Succeeded" or "Reset Failed" (outcome RESET_SUCCESS or RESET_FAILED).
Outcome reset(const Session& session);

// The reset's stages alone, with no running check.
Outcome resetStages(const Session& session);

// The window's Reset: refuses on the calling (main) thread while the client runs, else runs the
// stages on the background queue; posts the outcome from the main queue after the final log line.
// With preUninstallReset true: no running check and nothing posted. Returns at once.
void resetNimbla(bool preUninstallReset = false);

}  // namespace nimbla
