#include <unistd.h>

#include <cstdio>

#include "logging/Logger.h"
#include "platform/ScriptingService.h"
#include "process/RunProcess.h"

namespace nimbla {

bool runProcessAsSudo(const std::string& commandLine) {
    const platform::ScriptOutcome outcome =
        platform::scriptingServiceSeam()(platform::administratorScriptSource(commandLine));
    const std::string result = outcome.result.value_or("");
    if (outcome.error) {
        log("sudo script completed with error info: " + outcome.error->description() +
            " and output: " + result);
        return false;
    }
    const std::string message = "sudo script completed successfully!\n" + result + "\n";
    std::fflush(stdout);  // whatever stdio holds goes first
    writeSurvivingBrokenPipe(STDOUT_FILENO, message);
    return true;
}

platform::Seam<bool(const std::string&)>& runProcessAsSudoSeam() {
    static platform::Seam<bool(const std::string&)> seam(runProcessAsSudo);
    return seam;
}

}  // namespace nimbla
