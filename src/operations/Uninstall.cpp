#include "operations/Uninstall.h"

#include <optional>

#include "logging/Logger.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "platform/Bundle.h"
#include "platform/Queues.h"
#include "process/RunProcess.h"

namespace nimbla {

namespace {

constexpr const char* kUserScript = "uninstall_nimbla_drive";
constexpr const char* kUserScriptDescription = "uninstall_nimbla_drive -u -s";
constexpr const char* kRootScript = "uninstall_nimbla_drive_r";

}  // namespace

std::string privilegedCommandFor(const std::string& path) {
    // Inside single quotes the shell takes every character literally except the quote itself,
    // which is closed, escaped and reopened.
    std::string line = "sudo '";
    for (char c : path) {
        if (c == '\'') {
            line += "'\\''";
        } else {
            line += c;
        }
    }
    line += '\'';

    // The line then goes between the double quotes of an AppleScript string literal. Line breaks
    // are written as escapes so the statement stays on one line.
    std::string escaped;
    escaped.reserve(line.size());
    for (char c : line) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '"':
                escaped += "\\\"";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
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
