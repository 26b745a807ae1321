#include "cli/Report.h"

#include <algorithm>
#include <cstring>

#include "cli/Options.h"
#include "operations/Outcomes.h"
#include "platform/ShellQuote.h"

namespace nimbla::cli {

namespace {

nlohmann::json orNull(const std::optional<std::string>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json orNull(const std::string& value) {
    return value.empty() ? nlohmann::json(nullptr) : nlohmann::json(value);
}

std::string quoted(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./=:,+@%") == std::string::npos;
    return plain ? word : platform::shellQuoted(word);
}

std::string milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, ms < 10 ? "%.1f ms" : "%.0f ms", ms);
    return text;
}

}  // namespace

StepRecord StepRecord::from(const StepEvent& ended) {
    StepRecord step;
    step.description = ended.description;
    step.program = ended.program;
    if (ended.arguments != nullptr) {
        step.arguments = *ended.arguments;
    }
    step.asUser = ended.asUser;
    step.succeeded = ended.succeeded || ended.countedAsDone;
    step.countedAsDone = ended.countedAsDone;
    step.started = ended.started;
    step.launchError = ended.launchError;
    step.refusal = ended.refusal;
    step.exitStatus = ended.exitStatus;
    step.signal = ended.signal;
    step.durationMs = std::chrono::duration<double, std::milli>(ended.duration).count();
    step.outputBytes = ended.outputBytes;
    step.errorOutputBytes = ended.errorOutputBytes;
    return step;
}

namespace {

nlohmann::json stepJson(const StepRecord& step) {
    using nlohmann::json;
    return {
        {"description", step.description},
        {"program", step.program},
        {"arguments", step.arguments},
        {"asUser", step.asUser},
        {"succeeded", step.succeeded},
        {"exitStatus", step.exitStatus >= 0 ? json(step.exitStatus) : json(nullptr)},
        {"signal", step.signal != 0 ? json(step.signal) : json(nullptr)},
        {"launchError", !step.started && !step.refusal.empty() ? json(step.refusal)
                        : !step.started && step.launchError != 0
                            ? json(std::strerror(step.launchError))
                            : json(nullptr)},
        {"durationMs", step.durationMs},
        {"outputBytes", step.outputBytes},
        {"errorOutputBytes", step.errorOutputBytes},
        {"status", step.exitStatus >= 0 ? json(step.exitStatus) : json(nullptr)},
        {"countedAsDone", step.countedAsDone},
    };
}

// The report's lists: the plan, the steps, the clients asked to quit, the traces.
nlohmann::json listsJson(const Report& report) {
    using nlohmann::json;
    json steps = json::array();
    for (const StepRecord& step : report.steps) {
        steps.push_back(stepJson(step));
    }
    json plan = json::array();
    for (const PlanRecord& step : report.plan) {
        plan.push_back({{"description", step.description},
                        {"program", step.program},
                        {"arguments", step.arguments},
                        {"asUser", step.asUser},
                        {"removes", step.removes}});
    }
    json quits = json::array();
    for (const QuitRecord& quit : report.clientQuits) {
        quits.push_back({{"pid", quit.pid},
                         {"signal", quit.signal != 0 ? json(quit.signal) : json(nullptr)},
                         {"ended", quit.ended},
                         {"how", orNull(quit.how)}});
    }
    json traces = nullptr;
    if (report.traces) {
        traces = json::array();
        for (const TraceRecord& trace : *report.traces) {
            traces.push_back({{"path", trace.path},
                              {"kind", trace.kind},
                              {"bytes", trace.bytes ? json(*trace.bytes) : json(nullptr)},
                              {"kept", trace.kept}});
        }
    }
    return {{"plan", plan}, {"steps", steps}, {"clientQuits", quits}, {"traces", traces}};
}

}  // namespace

nlohmann::json toJson(const Report& report) {
    using nlohmann::json;
    json failedStep = nullptr;
    for (const StepRecord& step : report.steps) {
        if (!step.succeeded) {
            failedStep = step.description;
            break;
        }
    }
    json removal = nullptr;
    if (report.domainRemoval) {
        removal = {{"program", report.domainRemoval->program},
                   {"arguments", report.domainRemoval->arguments}};
    }
    const json lists = listsJson(report);
    json error = nullptr;
    if (report.error) {
        error = {{"code", report.error->code},
                 {"message", report.error->message},
                 {"accounts", report.error->accounts}};
    }
    return {
        {"schema", 1},
        {"command", orNull(report.command)},
        {"user", orNull(report.user)},
        {"home", orNull(report.home)},
        {"dryRun", report.dryRun},
        {"outcome", orNull(report.outcome)},
        {"exitCode", report.exitCode},
        {"log", orNull(report.log)},
        {"client",
         {{"installed", report.clientInstalled},
          {"version", orNull(report.clientVersion)},
          {"running", !report.clientPids.empty()},
          {"pids", report.clientPids}}},
        {"system", {{"version", orNull(report.systemVersion)}}},
        {"domainRemoval", removal},
        {"uninstallScripts",
         {{"user", orNull(report.userScript)}, {"administrator", orNull(report.privilegedScript)}}},
        {"plan", lists["plan"]},
        {"steps", lists["steps"]},
        {"preservedFiles", orNull(report.preservedFiles)},
        {"clientQuits", lists["clientQuits"]},
        {"traces", lists["traces"]},
        {"leftovers", report.leftovers ? json(*report.leftovers) : json(nullptr)},
        {"unlisted", report.unlisted ? json(*report.unlisted) : json(nullptr)},
        {"relaunched", report.relaunched ? json(*report.relaunched) : json(nullptr)},
        {"error", error},
        // Whole when nothing the uninstall looks for is left (null: no uninstall ran).
        {"complete", report.command == "uninstall" && !report.dryRun
                         ? json(report.leftovers && report.leftovers->empty())
                         : json(nullptr)},
        {"failedStep", failedStep},
        {"runningClients", runningClientsJson(report)},
        {"accounts", accountsJson(report)},
        {"otherAccountsWithTraces",
         report.otherAccountsWithTraces ? json(*report.otherAccountsWithTraces) : json(nullptr)},
    };
}

int exitCodeFor(std::string_view outcome) {
    if (outcome == outcomes::resetSuccess || outcome == outcomes::uninstallSuccess) {
        return kExitSuccess;
    }
    if (outcome == outcomes::nimblaDriveRunning) {
        return kExitClientRunning;
    }
    return kExitFailed;
}

std::string howItEnded(const StepRecord& step) {
    if (!step.started && !step.refusal.empty()) {
        return "not run: " + step.refusal;
    }
    if (!step.started) {
        return step.launchError != 0
                   ? std::string("could not start: ") + std::strerror(step.launchError)
                   : std::string("did not run");
    }
    if (step.signal != 0) {
        return "signal " + std::to_string(step.signal) + " (" + strsignal(step.signal) + ")";
    }
    if (step.exitStatus >= 0) {
        return "exit " + std::to_string(step.exitStatus);
    }
    return "ended unknown";
}

std::string stepLine(const StepRecord& step, bool colour) {
    const std::string counted = step.countedAsDone ? " (counted as done)" : "";
    std::string mark = step.succeeded ? "✓" : "✗";
    if (colour) {
        mark = (step.succeeded ? "\033[32m" : "\033[31m") + mark + "\033[0m";
    }
    return step.description + " " + mark + " " + howItEnded(step) + counted + ", " +
           milliseconds(step.durationMs) + "\n";
}

std::string closingLine(const Report& report) {
    if (report.error) {
        return std::string("nimbla-reset: ") + report.error->message + "\n";
    }
    if (!report.outcome) {
        return "";
    }
    const std::string_view outcome = *report.outcome;
    std::string line;
    if (outcome == outcomes::resetSuccess || outcome == outcomes::uninstallSuccess) {
        line = outcome == outcomes::resetSuccess ? "Reset succeeded." : "Uninstall succeeded.";
        if (report.command == "uninstall" && !report.leftovers) {
            line =
                "Uninstall ran, but what it left could not be looked for: the list of the "
                "client's traces beside the uninstall scripts cannot be read.";
        } else if (report.leftovers && !report.leftovers->empty()) {
            line = "Uninstall ran, but traces of the client are left: " +
                   std::to_string(report.leftovers->size()) + " (leftovers in --json).";
        } else if (report.leftovers) {
            line += " No trace of the client is left" + tracesElsewhere(report) + ".";
        }
        if (report.preservedFiles) {
            line += " Files that were never uploaded are in " + *report.preservedFiles + ".";
        }
    } else if (outcome == outcomes::nimblaDriveRunning && !report.clientQuits.empty()) {
        line = "Nimbla Drive was asked to quit and is still running for " + report.user + "; the " +
               report.command + " did not run. Run it again once the client has quit.";
    } else if (outcome == outcomes::nimblaDriveRunning) {
        line = "Nimbla Drive is running for " + report.user +
               "; nothing was changed. Quit it first (or use --quit-client).";
    } else {
        line = outcome == outcomes::resetFailed ? "Reset failed." : "Uninstall failed.";
        line += " The log says which step: " +
                (report.log.empty() ? std::string("each account's Desktop log") : report.log);
        if (report.leftovers) {
            line += ". Traces of the client left: " + std::to_string(report.leftovers->size());
        }
    }
    return line + "\n";
}

std::string unlistedLine(const Report& report) {
    if (!report.unlisted || report.unlisted->empty()) {
        return "";
    }
    std::string line = "Not in the list of traces, so left in place:";
    for (const std::string& path : *report.unlisted) {
        std::string shown = path;
        std::replace(shown.begin(), shown.end(), '\n', '?');
        line += " " + shown;
    }
    return line + "\n";
}

std::string shellLine(const std::string& program, const std::vector<std::string>& arguments) {
    std::string line = quoted(program);
    for (const std::string& argument : arguments) {
        line.append(" ").append(quoted(argument));
    }
    return line;
}

}  // namespace nimbla::cli
