#include <unistd.h>

#include <cstdio>

#include "logging/Logger.h"
#include "platform/ScriptingService.h"
#include "process/RunProcess.h"

namespace nimbla {

std::string sudoScriptSource(const std::string& script) {
    return "do shell script \"" + script + "\" with administrator privileges";
}

bool runProcessAsSudo(const std::string& script) {
    const platform::ScriptOutcome outcome =
        platform::scriptingServiceSeam()(sudoScriptSource(script));
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
