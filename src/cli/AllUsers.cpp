#include "cli/AllUsers.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "cli/ClientQuit.h"
#include "cli/Execute.h"
#include "cli/Interruption.h"
#include "cli/Probe.h"
#include "cli/RunLock.h"
#include "operations/DomainRemoval.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Traces.h"
#include "operations/Uninstall.h"
#include "platform/Clock.h"
#include "process/RunProcessAsSudo.h"

namespace nimbla::cli {

namespace {

using namespace std::chrono_literals;

// One account's part of the uninstall: the domain removal and the user's script as that
// account, logged to that account's Desktop log (and the --log copy).
bool uninstallFor(const platform::RunAs& account, const Output& output,
                  const std::atomic<int>& interruption, const platform::ChildWatch& groups,
                  LogCopy* copy, AccountRecord& record, std::optional<std::string>& version) {
    Session session = sessionOf(account);
    LogDestination log(logPathFor(account.home, platform::now()));
    log.setOwner(account.uid, account.gid);
    if (copy != nullptr) {
        copy->setUser(account.user);
        log.setCopy([copy](std::string_view text) { copy->mirror(text); });
    }
    session.log = &log;
    session.interruption = &interruption;
    session.childWatch = groups;
    session.observer = [&output, &record, copy](const StepEvent& event) {
        if (event.phase == StepEvent::Phase::Ended) {
            record.steps.push_back(StepRecord::from(event));
            if (copy != nullptr) {
                copy->stepEnded(record.steps.back());
            }
            if (output.human) {
                writeAll(STDERR_FILENO,
                         record.user + ": " + stepLine(record.steps.back(), output.colour));
            }
        }
    };
    UninstallRun run = removeDomainBeforeUninstall(session);
    Plan own = userPart(run.outcome.plan);
    const bool scripts =
        runSteps(session, std::vector<PlannedStep>(own.steps.begin() + 1, own.steps.end()));
    const bool succeeded = run.domainRemoved && scripts && own.complete;
    version = version ? version : run.outcome.clientVersion;
    record.outcome =
        std::string(succeeded ? outcomes::uninstallSuccess : outcomes::uninstallFailed);
    record.leftovers = leftoversOf(session, own, TraceScope::User);
    return succeeded;
}

// The administrator's step, once, as root; its output in the --log copy.
bool uninstallMachine(const Output& output, const std::atomic<int>& interruption,
                      const platform::ChildWatch& groups, LogCopy* copy, Report& report) {
    Session machine;
    machine.userName = "root";
    machine.interruption = &interruption;
    machine.childWatch = groups;
    machine.privilegedMessage = privilegedMessageFor(output);
    machine.observer = [&output, &report, copy](const StepEvent& event) {
        if (event.phase != StepEvent::Phase::Ended) {
            return;
        }
        report.steps.push_back(StepRecord::from(event));
        if (output.human) {
            writeAll(STDERR_FILENO, stepLine(report.steps.back(), output.colour));
        }
        if (copy != nullptr) {
            copy->append(administratorLines(event.output));
            copy->stepEnded(report.steps.back());
        }
    };
    if (copy != nullptr) {
        copy->setUser("root");
    }
    const Plan administrator = machinePart(planUninstall(ProcessResult{}));
    const bool succeeded = interruption.load() == 0 && runSteps(machine, administrator.steps) &&
                           administrator.complete;
    report.leftovers = leftoversOf(machine, administrator, TraceScope::Machine);
    return succeeded;
}

// Every account's leftovers and the machine's, in the report's top-level list (none when one
// of them could not be looked for).
void gatherLeftovers(Report& report) {
    if (!report.leftovers) {
        return;
    }
    std::vector<std::string> all;
    for (const AccountRecord& account : *report.accounts) {
        if (!account.leftovers) {
            report.leftovers.reset();
            return;
        }
        all.insert(all.end(), account.leftovers->begin(), account.leftovers->end());
    }
    all.insert(all.end(), report.leftovers->begin(), report.leftovers->end());
    report.leftovers = std::move(all);
}

// Every account's lock, held until the run ends: 0, or the refusal when one is taken.
int lockEveryAccount(const std::vector<platform::RunAs>& accounts,
                     std::vector<std::unique_ptr<RunLock>>& locks, Report& report) {
    for (const platform::RunAs& account : accounts) {
        locks.push_back(std::make_unique<RunLock>(account.home, account.uid, account.gid,
                                                  RunLock::Place::RootsFolder));
        const RunLock& lock = *locks.back();
        if (lock.state() == RunLock::State::Failed) {
            return refused(report, kExitCannotRun, "LOCKED",
                           lock.problem() + "; nothing was changed");
        }
        if (lock.state() == RunLock::State::Busy) {
            return refused(report, kExitCannotRun, "LOCKED",
                           lockedMessage(lock, account.user) + "; nothing was changed");
        }
    }
    return kExitSuccess;
}

// No account's client may run: 0, or the refusal (after asking every one to quit, with
// --quit-client).
int settleClients(const std::vector<platform::RunAs>& accounts, const Options& options,
                  const std::atomic<int>& interruption, LogCopy* copy, Report& report) {
    if (report.runningClients->empty()) {
        return kExitSuccess;
    }
    std::vector<ClientProcess> running = clientsOfEveryone().value_or(std::vector<ClientProcess>{});
    if (options.quitClientSeconds) {
        running =
            askEveryClientToQuit(accounts, *options.quitClientSeconds, interruption, copy, report);
    }
    if (const int signal = interruption.load(); signal != 0) {
        return interruptedBy(
            signal, "the wait for Nimbla Drive to quit was cut short; nothing was removed", report);
    }
    if (running.empty()) {
        return kExitSuccess;
    }
    report.outcome = std::string(outcomes::nimblaDriveRunning);
    report.error = ErrorRecord{};
    for (const ClientProcess& client : running) {
        std::vector<std::string>& whose = report.error->accounts;
        if (std::find(whose.begin(), whose.end(), client.user) == whose.end()) {
            whose.push_back(client.user);
        }
    }
    report.error->code = "CLIENT_RUNNING";
    report.error->message =
        options.quitClientSeconds
            ? "Nimbla Drive was asked to quit and is still running for " + clientsText(running) +
                  "; nothing was removed. Run it again once the client has quit."
            : "Nimbla Drive is running for " + clientsText(running) +
                  "; nothing was changed. Quit it first (or use --quit-client).";
    return kExitClientRunning;
}

// Decides before changing anything (every account's lock, then every account's client), then
// each account's part and the machine's.
int uninstallAll(const std::vector<platform::RunAs>& accounts, const Options& options,
                 const Output& output, LogCopy* copy, Report& report) {
    std::vector<std::unique_ptr<RunLock>> locks;
    if (const int refusal = lockEveryAccount(accounts, locks, report); refusal != 0) {
        return refusal;
    }
    Interruption watch;
    const std::atomic<int>& interruption = watch.signal();
    // Each command leads a process group of its own: the interruption stops it there, and every
    // account's lock keeps it until it has gone.
    const platform::ChildWatch groups = [&watch, &locks](pid_t group) {
        watch.running(group);
        for (const std::unique_ptr<RunLock>& lock : locks) {
            if (group > 0) {
                lock->recordGroup(group);
            } else {
                lock->forgetEndedGroups();
            }
        }
    };
    if (const int refusal = settleClients(accounts, options, interruption, copy, report);
        refusal != 0) {
        return refusal;
    }
    bool succeeded = true;
    for (const platform::RunAs& account : accounts) {
        if (interruption.load() != 0) {
            break;
        }
        report.accounts->push_back(recordOf(account));
        succeeded = uninstallFor(account, output, interruption, groups, copy,
                                 report.accounts->back(), report.clientVersion) &&
                    succeeded;
    }
    succeeded = uninstallMachine(output, interruption, groups, copy, report) && succeeded;
    if (const int signal = interruption.load(); signal != 0) {
        return interruptedBy(signal, "no further step was started", report);
    }
    gatherLeftovers(report);
    report.outcome =
        std::string(succeeded ? outcomes::uninstallSuccess : outcomes::uninstallFailed);
    return succeeded && report.leftovers && report.leftovers->empty() ? kExitSuccess : kExitFailed;
}

}  // namespace

int uninstallEveryAccount(const Options& options, const Context& context, const Output& output,
                          Report& report, LogCopy* copy) {
    const std::vector<platform::RunAs> accounts = personAccounts(context);
    const ClientProcesses everyone = clientsOfEveryone();
    if (!everyone) {
        return refused(report, kExitCannotRun, "PROCESS_LIST_FAILED", kProcessListFailure);
    }
    report.accounts.emplace();
    report.runningClients.emplace();
    for (const ClientProcess& client : *everyone) {
        report.runningClients->push_back({client.user, client.uid, client.pid});
        report.clientPids.push_back(client.pid);
    }
    const int exitCode =
        options.dryRun
            ? planEveryAccount(accounts, output, options.quitClientSeconds.has_value(), report)
            : uninstallAll(accounts, options, output, copy, report);
    report.clientInstalled = report.clientVersion.has_value() || clientBundlePresent();
    return exitCode;
}

int everyAccount(const Options& options, const Context& context, const Output& output,
                 Report& report, LogCopy* copy) {
    if (context.effectiveUid != 0) {
        return refused(report, kExitCannotRun, "NEEDS_ROOT",
                       "--all-users needs root (run it with sudo)");
    }
    return options.command == Command::Status
               ? machineStatus(options, context, output, report)
               : uninstallEveryAccount(options, context, output, report, copy);
}

}  // namespace nimbla::cli
