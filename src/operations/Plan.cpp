#include "operations/Plan.h"

#include "process/RunProcess.h"
#include "process/RunProcessAsSudo.h"

namespace nimbla {

namespace {

bool contains(const std::string& text, std::string_view part) {
    return !part.empty() && text.find(part) != std::string::npos;
}

}  // namespace

bool runStep(const Session& session, const PlannedStep& step) {
    if (step.asAdministrator) {
        // The step shows the command line as "/bin/sh" "-c" <line>; the runner takes the line.
        const auto& arguments = step.command.arguments;
        return arguments.size() == 2 && runProcessAsSudoSeam()(session, arguments[1], step.script);
    }
    if (step.command.program.empty()) {
        return false;
    }
    const ProcessResult result =
        runProcessSeam()(session, step.command.program, step.command.arguments, step.description);
    return result.succeeded || contains(result.output, step.doneWhenOutputHas) ||
           contains(result.errorOutput, step.doneWhenErrorOutputHas);
}

bool runSteps(const Session& session, const std::vector<PlannedStep>& steps) {
    bool allSucceeded = true;
    for (const PlannedStep& step : steps) {
        if (session.interrupted()) {
            return false;
        }
        allSucceeded = runStep(session, step) && allSucceeded;
    }
    return allSucceeded;
}

}  // namespace nimbla
