#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process/Session.h"

namespace nimbla {

// A program and its arguments, as a step runs it.
struct Command {
    std::string program;  // an absolute path
    std::vector<std::string> arguments;
    bool operator==(const Command&) const = default;
};

// What a step removes, as far as a front end shows it before anything runs.
enum class Removal {
    Nothing,
    Domain,          // the file-provider domain's folders
    Preferences,     // the client's preferences file
    SupportFolder,   // the client's Application Support folder
    ListedByScript,  // what the script would remove (the list beside it names it)
};

// One command a workflow runs: what it is, as whom, and how its success is judged. A front end
// shows the same steps before running anything (a dry run), and a run executes exactly them.
struct PlannedStep {
    PlannedStep() = default;
    PlannedStep(std::string description, Command command, bool asAdministrator = false,
                std::string_view doneWhenOutputHas = {},
                std::string_view doneWhenErrorOutputHas = {})
        : description(std::move(description)),
          command(std::move(command)),
          asAdministrator(asAdministrator),
          doneWhenOutputHas(doneWhenOutputHas),
          doneWhenErrorOutputHas(doneWhenErrorOutputHas) {}

    std::string description;
    Command command;
    // Runs as root through the privileged runner (the command is "/bin/sh" "-c" <command line>);
    // else as the session's user through the process runner.
    bool asAdministrator = false;
    // Also done when the command failed but printed this on standard output (or standard error):
    // the target was already gone. Empty: only its success counts.
    std::string_view doneWhenOutputHas;
    std::string_view doneWhenErrorOutputHas;
    // What it removes: the kind, the script that lists it, and (once looked for) the existing
    // paths. An administrator step runs its script only when root may trust it.
    Removal removes = Removal::Nothing;
    std::string script;
    std::vector<std::string> paths;
    bool operator==(const PlannedStep&) const = default;
};

// What a workflow will run, in order, after the client's version was read.
struct Plan {
    std::vector<PlannedStep> steps;
    // False when a step the workflow needs is missing (an uninstall script not shipped): the run
    // then fails, whatever the steps it has gave.
    bool complete = true;
};

// How one run of a workflow ended.
struct Outcome {
    std::string_view name;  // one of the five outcome notifications' names
    // The client's processes as the running check saw them (some only when it was refused).
    std::vector<pid_t> clientPids;
    // Refused because the process list could not be read (the name is then the failure's).
    bool processListFailed = false;
    // The client's version as the version read gave it, line end removed; none when unreadable
    // or not read (a refused run reads nothing).
    std::optional<std::string> clientVersion;
    // The steps it ran after the version read (empty when refused); an interrupted run ran only
    // those before the interruption.
    Plan plan;
};

// Runs one step as the session says, and judges it: done when it succeeded, or when it failed
// by exiting (never by a signal) with the text that says its target was already gone; the
// session's observer hears that verdict as the event's countedAsDone.
bool runStep(const Session& session, const PlannedStep& step);

// Runs `steps` in order, every one whatever the earlier ones gave, but none once the session is
// interrupted. True when each ran and succeeded.
bool runSteps(const Session& session, const std::vector<PlannedStep>& steps);

}  // namespace nimbla
