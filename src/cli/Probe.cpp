#include "cli/Probe.h"

#include <algorithm>

#include "cli/LogCopy.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Reset.h"
#include "operations/Traces.h"
#include "operations/Uninstall.h"

namespace nimbla::cli {

PlanRecord planned(const Session& session, const PlannedStep& step) {
    return {step.description, step.command.program, step.command.arguments,
            step.asAdministrator ? "root" : session.userName, step.paths};
}

void probe(const Session& session, Command command, Report& report,
           std::optional<std::size_t> sizeBudget) {
    const std::optional<std::vector<pid_t>> pids = clientPids(session);
    if (!pids) {
        report.error = ErrorRecord{"PROCESS_LIST_FAILED", kProcessListFailure};
        return;
    }
    report.clientPids = *pids;
    const ProcessResult version = readClientVersion(session);
    report.clientVersion = versionText(version);
    report.clientInstalled = report.clientVersion.has_value() || clientBundlePresent();
    Plan plan = command == Command::Reset ? planReset(version) : planUninstall(version);
    report.domainRemoval = planned(session, plan.steps.front());
    if (command == Command::Status) {
        DiskLook look(session);
        if (const std::optional<std::vector<Trace>> traces = look.traces(plan, sizeBudget)) {
            report.traces.emplace();
            for (const Trace& trace : *traces) {
                report.traces->push_back({trace.path, trace.kind, trace.bytes, trace.kept});
            }
        }
        report.unlisted = look.unlisted(plan);
    } else {
        findRemovals(session, plan);
        report.plan.push_back(planned(session, versionReadStep()));
        for (const PlannedStep& step : plan.steps) {
            report.plan.push_back(planned(session, step));
        }
    }
}

namespace {

// A path on a line of its own: a control character in a name shows as "?", as the scripts'
// --list and every line root writes show it.
std::string shown(const std::string& path) {
    return controlsShown(path);
}

}  // namespace

std::string tracesText(const std::optional<std::vector<TraceRecord>>& traces) {
    if (!traces) {
        return "Traces on disk: unknown (the list beside the uninstall scripts cannot be read)\n";
    }
    if (traces->empty()) {
        return "Traces on disk: none\n";
    }
    std::string text = "Traces on disk:\n";
    for (const TraceRecord& trace : *traces) {
        const std::string size = trace.bytes              ? std::to_string(*trace.bytes) + " bytes"
                                 : trace.kind == "folder" ? "size not measured"
                                                          : "size unknown";
        text += "  " + shown(trace.path) + " (" + trace.kind + ", " + size +
                (trace.kept ? ", never-uploaded files: kept" : "") + ")\n";
    }
    return text;
}

std::string statusText(const Report& report) {
    std::string pids;
    for (pid_t pid : report.clientPids) {
        pids.append(" ").append(std::to_string(pid));
    }
    const PlanRecord& removal = *report.domainRemoval;
    return "Nimbla Drive: " +
           (report.clientVersion     ? "version " + *report.clientVersion
            : report.clientInstalled ? std::string("installed, version unknown (unreadable)")
                                     : std::string("not installed")) +
           "\n" + (pids.empty() ? "Running: no\n" : "Running: yes, process" + pids + "\n") +
           "System: " + report.systemVersion + "\n" +
           "Domain removal: " + shellLine(removal.program, removal.arguments) + "\n" +
           "Uninstall script (user): " + report.userScript.value_or("missing") + "\n" +
           "Uninstall script (administrator): " + report.privilegedScript.value_or("missing") +
           "\n" + "Log: " + report.log + "\n" + tracesText(report.traces) + unlistedLine(report);
}

std::string planText(const Report& report, bool quitsClient) {
    std::string text;
    if (!report.clientPids.empty()) {
        text += quitsClient
                    ? "Nimbla Drive is running; it would be asked to quit first.\n"
                    : "Nimbla Drive is running; the " + report.command + " would be refused.\n";
    }
    text += "Would run, in order:\n";
    for (const PlanRecord& step : report.plan) {
        text += "  " + step.description + ": " + shellLine(step.program, step.arguments) +
                "  (as " + step.asUser + ")\n";
        for (const std::string& path : step.removes) {
            text += "      removes " + shown(path) + "\n";
        }
    }
    return text;
}

}  // namespace nimbla::cli
