#include "operations/Uninstall.h"

#include <optional>

#include "logging/Logger.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "platform/ShellQuote.h"
#include "process/RunProcess.h"

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

std::vector<PlannedStep> uninstallSteps(const RemovalCommand& command) {
    std::vector<PlannedStep> steps = {domainRemovalStep(command)};
    if (auto path = userUninstallScript()) {
        steps.push_back({kUserScriptDescription, *path, {"-u", "-s"}});
    }
    if (auto path = privilegedUninstallScript()) {
        steps.push_back(
            {kSudoStepDescription, "/bin/sh", {"-c", privilegedCommandFor(*path)}, true});
    }
    return steps;
}

void uninstallNimbla() {
    if (isNimblaDriveRunning()) {
        log("Nimbla Drive is running, cancelling uninstall");
        outcomes::postFromMainQueue(outcomes::nimblaDriveRunning);
        return;
    }

    log("Starting pre-uninstall domain removal");
    const RemovalCommand command = getDomainRemovalAndArchiveArguments();
    bool domainRemoved = false;
    if (auto url = command.find("url"); url != command.end()) {
        if (auto parameters = command.find("parameters"); parameters != command.end()) {
            domainRemoved = removeDomainAndArchiveUnsyncedFiles(parameters->second, url->second);
        }
    }

    log("Starting uninstall");
    platform::dispatchBackgroundAsync([domainRemoved] {
        bool scriptSucceeded = false;
        bool privilegedScriptSucceeded = false;

        if (std::optional<std::string> path = userUninstallScript()) {
            scriptSucceeded =
                runProcessSeam()(*path, {"-u", "-s"}, kUserScriptDescription).succeeded;
        }
        if (std::optional<std::string> path = privilegedUninstallScript()) {
            privilegedScriptSucceeded = runProcessAsSudoSeam()(privilegedCommandFor(*path));
        }

        const bool succeeded = domainRemoved && scriptSucceeded && privilegedScriptSucceeded;
        outcomes::postFromMainQueue(succeeded ? outcomes::uninstallSuccess
                                              : outcomes::uninstallFailed);
    });
}

}  // namespace nimbla
