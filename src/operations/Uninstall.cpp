#include "operations/Uninstall.h"

#include <optional>

#include "logging/Logger.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "platform/ScriptingService.h"
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

        if (std::optional<std::string> path = platform::pathForResource(kUserScript, "")) {
            scriptSucceeded =
                runProcessSeam()(*path, {"-u", "-s"}, kUserScriptDescription).succeeded;
        }
        if (std::optional<std::string> path = platform::pathForResource(kRootScript, "")) {
            privilegedScriptSucceeded = runProcessAsSudoSeam()(privilegedCommandFor(*path));
        }

        const bool succeeded = domainRemoved && scriptSucceeded && privilegedScriptSucceeded;
        outcomes::postFromMainQueue(succeeded ? outcomes::uninstallSuccess
                                              : outcomes::uninstallFailed);
    });
}

}  // namespace nimbla
