#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "logging/Logger.h"
#include "platform/ScriptingService.h"
#include "platform/Trust.h"
#include "process/RunProcess.h"
#include "process/RunProcessAsSudo.h"

namespace nimbla {

bool runProcessAsSudo(const Session& session, const std::string& commandLine,
                      const std::string& program) {
    // To an observer the step is the command line run as root through the shell.
    const std::vector<std::string> arguments = {"-c", commandLine};
    StepEvent event;
    event.description = kSudoStepDescription;
    event.program = "/bin/sh";
    event.arguments = &arguments;
    event.asUser = "root";
    reportStep(session, event);
    const std::string refusal = program.empty() ? "" : platform::programTrustSeam()(program);
    if (!refusal.empty()) {
        event.phase = StepEvent::Phase::Ended;
        event.refusal = refusal;
        reportStep(session, event);
        log(session, "Not running " + program + " as root: " + refusal);
        return false;
    }
    const auto startedAt = std::chrono::steady_clock::now();

    const platform::ScriptOutcome outcome = platform::scriptingServiceSeam()(
        platform::administratorScriptSource(commandLine), &session.childWatch);
    const std::string result = outcome.result.value_or("");

    event.phase = StepEvent::Phase::Ended;
    event.duration = std::chrono::steady_clock::now() - startedAt;
    event.started = true;
    event.succeeded = !outcome.error;
    event.exitStatus = 0;
    event.outputBytes = result.size();
    event.output = result;
    if (outcome.error) {
        // The error number is the command's exit status (or 128 + a signal's number) when the
        // command ran; a negative one means it never ran (the prompt was dismissed, say).
        const auto number = outcome.error->entries.find("NSAppleScriptErrorNumber");
        const long* status =
            number != outcome.error->entries.end() ? std::get_if<long>(&number->second) : nullptr;
        event.exitStatus = status != nullptr && *status > 0 && *status < 256 ? int(*status) : -1;
        event.started = event.exitStatus >= 0;
        event.errorOutputBytes = outcome.error->description().size();
    }
    reportStep(session, event);
    if (outcome.error) {
        log(session, "sudo script completed with error info: " + outcome.error->description() +
                         " and output: " + result);
        return false;
    }
    const std::string message = "sudo script completed successfully!\n" + result + "\n";
    if (session.privilegedMessage) {
        session.privilegedMessage(message);
        return true;
    }
    std::fflush(stdout);  // whatever stdio holds goes first
    writeSurvivingBrokenPipe(STDOUT_FILENO, message);
    return true;
}

platform::Seam<RunProcessAsSudoFn>& runProcessAsSudoSeam() {
    static platform::Seam<RunProcessAsSudoFn> seam(runProcessAsSudo);
    return seam;
}

}  // namespace nimbla
