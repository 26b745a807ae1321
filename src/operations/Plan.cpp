#include "operations/Plan.h"

#include "process/RunProcess.h"
#include "process/RunProcessAsSudo.h"

namespace nimbla {

namespace {

bool contains(std::string_view text, std::string_view part) {
    return !part.empty() && text.find(part) != std::string_view::npos;
}

bool countedAsDone(const PlannedStep& step, std::string_view output, std::string_view errorOutput) {
    return contains(output, step.doneWhenOutputHas) ||
           contains(errorOutput, step.doneWhenErrorOutputHas);
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
    // Whoever hears of the step as it ends learns the verdict too. A step a signal ended never
    // counts as done, whatever it printed before.
    bool killed = false;
    Session judged = session;
    judged.observer = [&session, &step, &killed](const StepEvent& event) {
        StepEvent told = event;
        if (event.phase == StepEvent::Phase::Ended) {
            killed = event.signal != 0;
            told.countedAsDone =
                !event.succeeded && !killed && countedAsDone(step, event.output, event.errorOutput);
        }
        reportStep(session, told);
    };
    const ProcessResult result =
        runProcessSeam()(judged, step.command.program, step.command.arguments, step.description);
    return result.succeeded || (!killed && countedAsDone(step, result.output, result.errorOutput));
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
