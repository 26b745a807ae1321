#include "operations/Reset.h"

#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"

namespace nimbla {

namespace {

constexpr const char* kDefaults = "/usr/bin/defaults";
constexpr const char* kShell = "/bin/bash";
constexpr const char* kPreferencesDescription = "Deleting com.nimbla.desktop defaults";
constexpr std::string_view kNoPreferencesError = "Domain (com.nimbla.desktop) not found.";
constexpr const char* kRemoveSupportFolderCommand =
    R"(rm -rf ~/Library/Application\ Support/Nimbla/Nimbla)";
constexpr const char* kSupportFolderDescription = "Removing Application Support Nimbla folder";

}  // namespace

Plan planReset(const ProcessResult& version) {
    Plan plan{{removeDomainAndArchiveUnsyncedFiles(getDomainRemovalAndArchiveArguments(version)),
               {kPreferencesDescription,
                {kDefaults, {"delete", kNimblaBundleIdentifier}},
                false,
                {},
                kNoPreferencesError},
               {kSupportFolderDescription, {kShell, {"-c", kRemoveSupportFolderCommand}}}}};
    plan.steps[1].removes = Removal::Preferences;
    plan.steps[2].removes = Removal::SupportFolder;
    return plan;
}

Outcome resetStages(const Session& session) {
    log(session, "Starting Nimbla Drive reset");
    const ProcessResult version = readClientVersion(session);
    Outcome outcome;
    outcome.clientVersion = versionText(version);
    outcome.plan = planReset(version);
    const bool succeeded = runSteps(session, outcome.plan.steps);
    log(session, succeeded ? "Reset Succeeded" : "Reset Failed");
    outcome.name = succeeded ? outcomes::resetSuccess : outcomes::resetFailed;
    return outcome;
}

Outcome reset(const Session& session) {
    if (std::optional<Outcome> refused =
            refusalWhileRunning(session, kResetRefusal, outcomes::resetFailed)) {
        return std::move(*refused);
    }
    return resetStages(session);
}

}  // namespace nimbla
