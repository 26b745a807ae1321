#include "cli/Execute.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "cli/AllUsers.h"
#include "cli/ClientQuit.h"
#include "cli/Interruption.h"
#include "cli/Probe.h"
#include "cli/RunLock.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Preservation.h"
#include "operations/Reset.h"
#include "operations/Traces.h"
#include "operations/Uninstall.h"
#include "process/RunProcess.h"
#include "process/RunProcessAsSudo.h"

namespace nimbla::cli {

namespace {

// Asks the client to quit when told to: the Apple event, then SIGTERM (askClientToQuit). A list
// that cannot be read asks no one; the run's own check then refuses.
void quitClient(const Session& session, int seconds, const Output& output, Report& report,
                LogCopy* copy) {
    const ClientQuit quit =
        askClientToQuit(session, clientPids(session).value_or(std::vector<pid_t>{}), seconds);
    if (quit.quits.empty()) {
        return;
    }
    report.clientQuits = quit.quits;
    if (copy != nullptr) {
        copy->append(quit.lines);
    }
    if (output.human) {
        const bool allEnded = std::all_of(quit.quits.begin(), quit.quits.end(),
                                          [](const QuitRecord& q) { return q.ended; });
        writeAll(STDERR_FILENO, allEnded       ? "Nimbla Drive quit.\n"
                                : seconds == 0 ? "Nimbla Drive was asked to quit.\n"
                                               : "Nimbla Drive did not quit in time.\n");
    }
}

// As root, the app in /Applications is every user's: while anyone else's client runs, an
// uninstall would pull it from under them. None when the process list cannot be read.
std::optional<std::string> otherUsersClients(const Target& target,
                                             std::vector<std::string>& accounts) {
    const ClientProcesses everyone = clientsOfEveryone();
    if (!everyone) {
        return std::nullopt;
    }
    std::string running;
    for (const ClientProcess& client : *everyone) {
        if (client.uid != target.user.uid) {
            if (std::find(accounts.begin(), accounts.end(), client.user) == accounts.end()) {
                accounts.push_back(client.user);
            }
            running += (running.empty() ? "" : ", ") + client.user + " (process " +
                       std::to_string(client.pid) + ")";
        }
    }
    return running;
}

void record(const Session& session, const Outcome& outcome, Report& report) {
    report.outcome = std::string(outcome.name);
    report.clientPids = outcome.clientPids;
    report.clientVersion = outcome.clientVersion;
    if (outcome.name == outcomes::nimblaDriveRunning) {
        // Refused before the version read: read it now, quietly, for the report only.
        Session quiet = session;
        quiet.log = nullptr;
        quiet.observer = {};
        report.clientVersion = versionText(readClientVersion(quiet));
    } else {
        report.domainRemoval = planned(session, outcome.plan.steps.front());
    }
    report.clientInstalled = report.clientVersion.has_value() || clientBundlePresent();
}

// Reopens the client as the user, in their session, with nothing in the Desktop log, even after
// the run was interrupted.
bool relaunch(const Session& session) {
    Session quiet = session;
    quiet.log = nullptr;
    quiet.interruption = nullptr;
    quiet.childWatch = {};
    return runProcessSeam()(quiet, "/usr/bin/open", {"-b", kNimblaBundleIdentifier},
                            "Reopening Nimbla Drive")
        .succeeded;
}

// The Desktop log's lines, each step's line and the administrator script's output, also in the
// --log copy.
void copyInto(LogCopy& copy, LogDestination& log, Session& session) {
    log.setCopy([&copy](std::string_view text) { copy.mirror(text); });
    const StepObserver shown = session.observer;
    session.observer = [shown, &copy](const StepEvent& event) {
        if (shown) {
            shown(event);
        }
        if (event.phase == StepEvent::Phase::Ended) {
            if (event.description == kSudoStepDescription) {
                copy.append(administratorLines(event.output));
            }
            copy.stepEnded(StepRecord::from(event));
        }
    };
}

}  // namespace

std::string lockedMessage(const RunLock& lock, const std::string& user) {
    if (lock.runningGroup() > 0) {
        return "a command of an earlier " + std::string(kProgram) + " run for " + user +
               " is still running (process group " + std::to_string(lock.runningGroup()) + ")";
    }
    return "another " + std::string(kProgram) + " run for " + user + " is in progress" +
           (lock.holder() > 0 ? " (process " + std::to_string(lock.holder()) + ")" : std::string());
}

std::function<void(std::string_view)> privilegedMessageFor(const Output& output) {
    // Progress: with --quiet only the --log lines keep it.
    return [&output](std::string_view message) {
        if (output.human) {
            std::string lines(message);
            std::replace(lines.begin(), lines.end(), '\r', '\n');  // one path a line
            writeAll(STDOUT_FILENO, lines);
        }
    };
}

std::string administratorLines(std::string_view output) {
    std::string lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = std::min(output.find_first_of("\r\n", start), output.size());
        if (end > start) {
            lines += "Administrator script: ";
            lines += output.substr(start, end - start);
            lines += "\n";
        }
        start = end + 1;
    }
    return lines;
}

namespace {

// Runs the workflow once nothing else stands in its way; returns the exit status.
int runWorkflow(const Session& session, LogDestination& log, const Options& options,
                const std::atomic<int>& interruption, Report& report) {
    const FolderTimes before = preservationFolders(report.home);
    const Outcome outcome = options.command == Command::Reset ? reset(session) : uninstall(session);
    log.setCopy({});
    if (outcome.processListFailed) {
        report.outcome = std::string(outcome.name);
        return refused(report, kExitCannotRun, "PROCESS_LIST_FAILED", kProcessListFailure);
    }
    record(session, outcome, report);
    if (outcome.name == outcomes::nimblaDriveRunning) {
        return exitCodeFor(outcome.name);
    }
    report.preservedFiles = preservedDuring(before, preservationFolders(report.home));
    if (const int signal = interruption.load(); signal != 0) {
        return interruptedBy(signal, "no further step was started", report);
    }
    int exitCode = exitCodeFor(outcome.name);
    if (options.command == Command::Uninstall) {
        DiskLook look(session);
        report.leftovers = look.leftovers(outcome.plan);
        report.unlisted = look.unlisted(outcome.plan);
        if (!report.leftovers || !report.leftovers->empty()) {
            exitCode = kExitFailed;  // a complete uninstall is exactly exit 0: found so
        }
    }
    return exitCode;
}

}  // namespace

int execute(Session& session, LogDestination& log, const Options& options, const Target& target,
            const Output& output, Report& report, LogCopy* copy) {
    const platform::RunAs& user = target.user;
    // As root, the lock is root's: the user can neither hold nor release it.
    RunLock lock(user.home, user.uid, user.gid,
                 target.runAsUser ? RunLock::Place::RootsFolder : RunLock::Place::UsersHome);
    if (lock.state() == RunLock::State::Busy) {
        return refused(report, kExitCannotRun, "LOCKED", lockedMessage(lock, user.user));
    }
    if (lock.state() == RunLock::State::Failed) {
        return refused(report, kExitCannotRun, "LOCKED", lock.problem());
    }
    if (copy != nullptr) {
        copyInto(*copy, log, session);
    }
    session.privilegedMessage = privilegedMessageFor(output);

    Interruption interruption;
    session.interruption = &interruption.signal();
    // Each command leads a process group of its own: the interruption stops it there, and the
    // lock keeps it until it has gone.
    session.childWatch = [&interruption, &lock](pid_t group) {
        interruption.running(group);
        if (group > 0) {
            lock.recordGroup(group);
        } else {
            lock.forgetEndedGroups();
        }
    };
    // The session outlives this call; the interruption does not.
    struct Detach {
        Session& session;
        ~Detach() {
            session.interruption = nullptr;
            session.childWatch = {};
            session.privilegedMessage = {};
        }
    } detach{session};
    // As root, the app in /Applications is every user's: while anyone else's client runs, an
    // uninstall would pull it from under them. Checked before any client is asked to quit.
    if (options.command == Command::Uninstall && target.runAsUser) {
        std::vector<std::string> accounts;
        const std::optional<std::string> others = otherUsersClients(target, accounts);
        if (!others) {
            return refused(report, kExitCannotRun, "PROCESS_LIST_FAILED", kProcessListFailure);
        }
        if (!others->empty()) {
            report.outcome = std::string(outcomes::nimblaDriveRunning);
            const int exitCode = refused(report, kExitClientRunning, "CLIENT_RUNNING",
                                         "Nimbla Drive is running for " + *others +
                                             "; the app is shared, so nothing was changed");
            report.error->accounts = std::move(accounts);
            return exitCode;
        }
    }
    if (options.quitClientSeconds) {
        quitClient(session, *options.quitClientSeconds, output, report, copy);
    }
    const int signal = interruption.signal();
    const int exitCode =
        signal != 0
            ? interruptedBy(signal,
                            "the wait for Nimbla Drive to quit was cut short; no step was started",
                            report)
            : runWorkflow(session, log, options, interruption.signal(), report);
    // A client the run quit is reopened, whatever became of the run.
    const bool quitOne = std::any_of(report.clientQuits.begin(), report.clientQuits.end(),
                                     [](const QuitRecord& quit) { return quit.ended; });
    if (options.relaunch) {
        report.relaunched = quitOne && relaunch(session);
        if (copy != nullptr && quitOne) {
            copy->append(*report.relaunched ? "Reopened Nimbla Drive\n"
                                            : "Could not reopen Nimbla Drive\n");
        }
    }
    return exitCode;
}

}  // namespace nimbla::cli
