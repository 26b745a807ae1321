#include "cli/Execute.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "cli/AllUsers.h"
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

using namespace std::chrono_literals;

int refused(Report& report, int exitCode, std::string code, std::string message) {
    report.error = ErrorRecord{std::move(code), std::move(message)};
    return exitCode;
}

const char* signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
    }
    return "a signal";
}

// Asks the client to quit (SIGTERM to each of its processes) and waits up to `seconds` for it;
// with 0 it only asks. Records each process asked, and returns a line for each.
std::string quitClient(const Session& session, int seconds, const Output& output, Report& report) {
    const std::vector<pid_t> asked = clientPids(session);
    if (asked.empty()) {
        return "";
    }
    for (pid_t pid : asked) {
        ::kill(pid, SIGTERM);
    }
    std::vector<pid_t> running = asked;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (seconds > 0 && !running.empty() && std::chrono::steady_clock::now() < deadline &&
           !session.interrupted()) {
        std::this_thread::sleep_for(50ms);
        running = clientPids(session);
    }
    std::string lines;
    for (pid_t pid : asked) {
        const bool ended = std::find(running.begin(), running.end(), pid) == running.end();
        report.clientQuits.push_back({pid, SIGTERM, ended});
        lines += "Asked Nimbla Drive (process " + std::to_string(pid) +
                 ") to quit with SIGTERM: " + (ended ? "it ended" : "still running") + "\n";
    }
    if (output.human) {
        writeAll(STDERR_FILENO, running.empty() ? "Nimbla Drive quit.\n"
                                : seconds == 0  ? "Nimbla Drive was asked to quit.\n"
                                                : "Nimbla Drive did not quit in time.\n");
    }
    return lines;
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
    report.clientInstalled = report.clientVersion.has_value();
}

// Reopens the client as the user, in their session, with nothing in the Desktop log.
bool relaunch(const Session& session) {
    Session quiet = session;
    quiet.log = nullptr;
    return runProcessSeam()(quiet, "/usr/bin/open", {"-b", kNimblaBundleIdentifier},
                            "Reopening Nimbla Drive")
        .succeeded;
}

}  // namespace

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

int execute(Session& session, LogDestination& log, const Options& options, const Target& target,
            const Output& output, Report& report, LogCopy* copy) {
    const platform::RunAs& user = target.user;
    RunLock lock(user.home, user.uid, user.gid);
    if (lock.state() == RunLock::State::Busy) {
        return refused(report, kExitCannotRun, "LOCKED",
                       "another " + std::string(kProgram) + " run for " + user.user +
                           " is in progress" +
                           (lock.holder() > 0 ? " (process " + std::to_string(lock.holder()) + ")"
                                              : std::string()));
    }
    if (lock.state() == RunLock::State::Failed) {
        return refused(report, kExitCannotRun, "LOCKED", lock.problem());
    }
    if (copy != nullptr) {
        log.setCopy([copy](std::string_view text) { copy->append(text); });
        const StepObserver shown = session.observer;
        session.observer = [shown, copy](const StepEvent& event) {
            if (shown) {
                shown(event);
            }
            if (event.phase == StepEvent::Phase::Ended &&
                event.description == kSudoStepDescription) {
                copy->append(administratorLines(event.output));
            }
        };
    }

    Interruption interruption;
    session.interruption = &interruption.signal();
    session.childWatch = [&interruption, &session](pid_t pid) {
        interruption.running(pid, session.runAs.has_value());
    };
    // The session outlives this call; the interruption does not.
    struct Detach {
        Session& session;
        ~Detach() {
            session.interruption = nullptr;
            session.childWatch = {};
        }
    } detach{session};
    // As root, the app in /Applications is every user's: while anyone else's client runs, an
    // uninstall would pull it from under them. Checked before any client is asked to quit.
    if (options.command == Command::Uninstall && target.runAsUser) {
        if (const std::string others = clientsOfOthers(user.uid); !others.empty()) {
            report.outcome = std::string(outcomes::nimblaDriveRunning);
            return refused(report, kExitClientRunning, "CLIENT_RUNNING",
                           "Nimbla Drive is running for " + others +
                               "; the app is shared, so nothing was changed");
        }
    }
    if (options.quitClientSeconds) {
        const std::string asked = quitClient(session, *options.quitClientSeconds, output, report);
        if (copy != nullptr && !asked.empty()) {
            copy->append(asked);
        }
    }

    const FolderTimes before = preservationFolders(report.home);
    const Outcome outcome = options.command == Command::Reset ? reset(session) : uninstall(session);
    log.setCopy({});
    record(session, outcome, report);
    if (outcome.name == outcomes::nimblaDriveRunning) {
        return exitCodeFor(outcome.name);
    }
    report.preservedFiles = preservedDuring(before, preservationFolders(report.home));
    if (const int signal = interruption.signal(); signal != 0) {
        report.outcome = std::string(kInterrupted);
        return refused(
            report, 128 + signal, std::string(kInterrupted),
            std::string("interrupted by ") + signalName(signal) + ": no further step was started");
    }
    int exitCode = exitCodeFor(outcome.name);
    if (options.command == Command::Uninstall) {
        report.leftovers = leftoversOf(session, outcome.plan);
        if (!report.leftovers || !report.leftovers->empty()) {
            exitCode = kExitFailed;  // a complete uninstall is exactly exit 0: found so
        }
    }
    const bool wasRunning = std::any_of(report.clientQuits.begin(), report.clientQuits.end(),
                                        [](const QuitRecord& quit) { return quit.ended; });
    if (options.relaunch && exitCode == kExitSuccess && wasRunning) {
        report.relaunched = relaunch(session);
        if (copy != nullptr) {
            copy->append(*report.relaunched ? "Reopened Nimbla Drive\n"
                                            : "Could not reopen Nimbla Drive\n");
        }
    } else if (options.relaunch) {
        report.relaunched = false;
    }
    return exitCode;
}

}  // namespace nimbla::cli
