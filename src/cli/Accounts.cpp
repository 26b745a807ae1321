#include <unistd.h>

#include <algorithm>
#include <map>

#include "cli/AllUsers.h"
#include "cli/Probe.h"
#include "operations/DomainRemoval.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Traces.h"
#include "operations/Uninstall.h"

namespace nimbla::cli {

std::vector<platform::RunAs> personAccounts(const Context& context) {
    std::map<uid_t, platform::RunAs> people;
    for (platform::RunAs& account :
         context.accounts ? context.accounts() : std::vector<platform::RunAs>{}) {
        if (account.uid >= kFirstPersonUid && !people.contains(account.uid) &&
            context.isOwnHome(account.home, account.uid)) {
            people.emplace(account.uid, std::move(account));
        }
    }
    std::vector<platform::RunAs> accounts;
    for (auto& [uid, account] : people) {
        accounts.push_back(std::move(account));
    }
    return accounts;
}

Session sessionOf(const platform::RunAs& account) {
    Session session;
    session.runAs = account;
    session.userName = account.user;
    session.home = account.home;
    session.clientOwner = account.uid;
    return session;
}

AccountRecord recordOf(const platform::RunAs& account) {
    AccountRecord record;
    record.user = account.user;
    record.uid = account.uid;
    record.home = account.home;
    return record;
}

Plan userPart(Plan plan) {
    std::erase_if(plan.steps, [](const PlannedStep& step) { return step.asAdministrator; });
    plan.complete = userUninstallScript().has_value();
    return plan;
}

Plan machinePart(Plan plan) {
    std::erase_if(plan.steps, [](const PlannedStep& step) { return !step.asAdministrator; });
    plan.complete = privilegedUninstallScript().has_value();
    return plan;
}

std::string clientsText(const std::vector<ClientProcess>& clients) {
    std::string text;
    for (const ClientProcess& client : clients) {
        text += (text.empty() ? "" : ", ") + client.user + " (process " +
                std::to_string(client.pid) + ")";
    }
    return text;
}

std::optional<std::string> clientsOfOthers(uid_t except) {
    ClientProcesses others = clientsOfEveryone();
    if (!others) {
        return std::nullopt;
    }
    std::erase_if(*others, [except](const ClientProcess& client) { return client.uid == except; });
    return clientsText(*others);
}

std::vector<std::string> otherAccountsWithTraces(const Context& context, uid_t except) {
    const Plan plan = userPart(planUninstall(ProcessResult{}));
    std::vector<std::string> others;
    for (const platform::RunAs& account : personAccounts(context)) {
        if (account.uid == except) {
            continue;
        }
        const auto left = leftoversOf(sessionOf(account), plan, TraceScope::User);
        if (!left || !left->empty()) {
            others.push_back(account.user);
        }
    }
    return others;
}

namespace {

std::vector<TraceRecord> records(const std::optional<std::vector<Trace>>& traces) {
    std::vector<TraceRecord> found;
    for (const Trace& trace : traces.value_or(std::vector<Trace>{})) {
        found.push_back({trace.path, trace.kind, trace.bytes, trace.kept});
    }
    return found;
}

std::string machineText(const Report& report) {
    std::string running;
    for (const ClientRecord& client : *report.runningClients) {
        running += (running.empty() ? "" : ", ") + client.user + " (process " +
                   std::to_string(client.pid) + ")";
    }
    std::string text =
        "Nimbla Drive: " +
        (report.clientVersion ? "version " + *report.clientVersion
                              : std::string("not installed (version unreadable)")) +
        "\nRunning: " + (running.empty() ? std::string("no") : "for " + running) +
        "\nSystem: " + report.systemVersion +
        "\nUser: " + (report.accounts ? "every account" : std::string("nobody at the console")) +
        "\nUninstall script (user): " + report.userScript.value_or("missing") +
        "\nUninstall script (administrator): " + report.privilegedScript.value_or("missing") +
        "\nThe machine's part:\n" + tracesText(report.traces);
    for (const AccountRecord& account : report.accounts.value_or(std::vector<AccountRecord>{})) {
        text += account.user + " (uid " + std::to_string(account.uid) + ", " + account.home +
                "):\n" + tracesText(account.traces);
    }
    return text;
}

}  // namespace

int machineStatus(const Options& options, const Context& context, const Output& output,
                  Report& report) {
    Session machine;
    machine.userName = "root";
    const ProcessResult version = readClientVersion(machine);
    report.clientVersion = versionText(version);
    report.clientInstalled = report.clientVersion.has_value() || clientBundlePresent();
    const ClientProcesses everyone = clientsOfEveryone();
    if (!everyone) {
        report.error = ErrorRecord{"PROCESS_LIST_FAILED", kProcessListFailure};
        return kExitCannotRun;
    }
    report.runningClients.emplace();
    for (const ClientProcess& client : *everyone) {
        report.runningClients->push_back({client.user, client.uid, client.pid});
        report.clientPids.push_back(client.pid);
    }
    const Plan plan = planUninstall(version);
    const std::optional<std::size_t> budget =
        options.sizes ? std::nullopt : std::optional<std::size_t>(kSizeBudget);
    if (const auto traces =
            DiskLook(machine, TraceScope::Machine).traces(machinePart(plan), budget)) {
        report.traces = records(traces);
    }
    if (options.allUsers) {
        report.accounts.emplace();
        for (const platform::RunAs& account : personAccounts(context)) {
            AccountRecord record = recordOf(account);
            if (const auto traces =
                    DiskLook(sessionOf(account), TraceScope::User).traces(userPart(plan), budget)) {
                record.traces = records(traces);
            }
            report.accounts->push_back(std::move(record));
        }
    }
    if (output.jsonFd < 0 || output.human) {  // the answer, even with --quiet
        writeAll(STDOUT_FILENO, machineText(report));
    }
    return kExitSuccess;
}

int planEveryAccount(const std::vector<platform::RunAs>& accounts, const Output& output,
                     bool quitsClient, Report& report) {
    std::string text;
    if (!report.runningClients->empty()) {
        text += "Nimbla Drive is running for " +
                clientsText(clientsOfEveryone().value_or(std::vector<ClientProcess>{})) +
                (quitsClient ? "; every one would be asked to quit first.\n"
                             : "; the uninstall would be refused.\n");
    }
    Plan whole;
    for (const platform::RunAs& account : accounts) {
        const Session session = sessionOf(account);
        const ProcessResult version = readClientVersion(session);
        if (!report.clientVersion) {
            report.clientVersion = versionText(version);
        }
        whole = planUninstall(version);
        Plan own = userPart(whole);
        findRemovals(session, own);
        AccountRecord record = recordOf(account);
        record.plan.push_back(planned(session, versionReadStep()));
        for (const PlannedStep& step : own.steps) {
            record.plan.push_back(planned(session, step));
        }
        Report shown;
        shown.plan = record.plan;
        text += "For " + account.user + " (uid " + std::to_string(account.uid) + ", " +
                account.home + "): " + planText(shown, false);
        report.accounts->push_back(std::move(record));
    }
    Session machine;
    Plan administrator = machinePart(accounts.empty() ? planUninstall(ProcessResult{}) : whole);
    findRemovals(machine, administrator);
    for (const PlannedStep& step : administrator.steps) {
        report.plan.push_back(planned(machine, step));
    }
    Report shown;
    shown.plan = report.plan;
    text += "Then, once for the machine: " + planText(shown, false);
    const Verdict verdict = dryRunVerdict(Command::Uninstall, report);
    const bool blocked = !report.runningClients->empty() && !quitsClient;
    if (output.jsonFd < 0 || output.human) {  // the answer, even with --quiet
        writeAll(STDOUT_FILENO, text + (blocked ? "" : verdict.why));
    }
    if (blocked) {
        report.outcome = std::string(outcomes::nimblaDriveRunning);
        report.error = ErrorRecord{
            "CLIENT_RUNNING",
            "Nimbla Drive is running for " +
                clientsText(clientsOfEveryone().value_or(std::vector<ClientProcess>{})) +
                "; the uninstall would be refused. Quit it first (or use "
                "--quit-client)."};
        return kExitClientRunning;
    }
    if (verdict.exitCode != kExitSuccess) {
        report.error = ErrorRecord{"SCRIPT_MISSING", verdict.why.substr(0, verdict.why.size() - 1)};
    }
    return verdict.exitCode;
}

Verdict dryRunVerdict(Command command, const Report& report) {
    if (command != Command::Uninstall) {
        return {};
    }
    if (!report.userScript || !report.privilegedScript) {
        return {kExitFailed, std::string("The ") +
                                 (report.userScript ? "administrator" : "user's") +
                                 " uninstall script is missing: that step cannot run, so the "
                                 "uninstall would fail.\n"};
    }
    return {};
}

}  // namespace nimbla::cli
