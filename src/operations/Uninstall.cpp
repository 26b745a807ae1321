#include "operations/Uninstall.h"

#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "platform/Bundle.h"
#include "platform/ShellQuote.h"
#include "process/RunProcessAsSudo.h"

namespace nimbla {

namespace {

constexpr const char* kUserScript = "uninstall_nimbla_drive";
constexpr const char* kUserScriptDescription = "uninstall_nimbla_drive -u -s";
constexpr const char* kRootScript = "uninstall_nimbla_drive_r";

}  // namespace

std::string privilegedCommandFor(const std::string& path) {
    return "sudo " + platform::shellQuoted(path);
}

std::optional<std::string> userUninstallScript() {
    return platform::pathForResource(kUserScript, "");
}

std::optional<std::string> privilegedUninstallScript() {
    return platform::pathForResource(kRootScript, "");
}

Plan planUninstall(const ProcessResult& version) {
    Plan plan{{removeDomainAndArchiveUnsyncedFiles(getDomainRemovalAndArchiveArguments(version))}};
    if (auto path = userUninstallScript()) {
        plan.steps.push_back({kUserScriptDescription, {*path, {"-u", "-s"}}});
        plan.steps.back().removes = Removal::ListedByScript;
        plan.steps.back().script = *path;
    } else {
        plan.complete = false;
    }
    if (auto path = privilegedUninstallScript()) {
        plan.steps.push_back(
            {kSudoStepDescription, {"/bin/sh", {"-c", privilegedCommandFor(*path)}}, true});
        plan.steps.back().removes = Removal::ListedByScript;
        plan.steps.back().script = *path;
    } else {
        plan.complete = false;
    }
    return plan;
}

UninstallRun removeDomainBeforeUninstall(const Session& session) {
    log(session, "Starting pre-uninstall domain removal");
    const ProcessResult version = readClientVersion(session);
    UninstallRun run;
    run.outcome.clientVersion = versionText(version);
    run.outcome.plan = planUninstall(version);
    run.domainRemoved = !session.interrupted() && runStep(session, run.outcome.plan.steps.front());
    log(session, "Starting uninstall");
    return run;
}

Outcome runUninstallScripts(const Session& session, UninstallRun run) {
    const std::vector<PlannedStep>& steps = run.outcome.plan.steps;
    const bool scriptsSucceeded =
        runSteps(session, std::vector<PlannedStep>(steps.begin() + 1, steps.end()));
    const bool succeeded = run.domainRemoved && scriptsSucceeded && run.outcome.plan.complete;
    run.outcome.name = succeeded ? outcomes::uninstallSuccess : outcomes::uninstallFailed;
    return std::move(run.outcome);
}

Outcome uninstall(const Session& session) {
    if (std::optional<Outcome> refused =
            refusalWhileRunning(session, kUninstallRefusal, outcomes::uninstallFailed)) {
        return std::move(*refused);
    }
    return runUninstallScripts(session, removeDomainBeforeUninstall(session));
}

}  // namespace nimbla
