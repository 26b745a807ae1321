#include "cli/Execute.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli/LogCopy.h"
#include "cli/Probe.h"
#include "cli/RunLock.h"
#include "operations/Outcomes.h"
#include "operations/Preservation.h"
#include "operations/Reset.h"
#include "operations/RunningClient.h"
#include "operations/Uninstall.h"

namespace nimbla::cli {

namespace {

using namespace std::chrono_literals;

// Asks the client to quit (SIGTERM to each of its processes) and waits up to `seconds` for it.
void quitClient(const Session& session, int seconds, const Output& output) {
    std::vector<pid_t> pids = clientPids(session);
    if (pids.empty()) {
        return;
    }
    for (pid_t pid : pids) {
        ::kill(pid, SIGTERM);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!pids.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        pids = clientPids(session);
    }
    if (output.human) {
        writeAll(STDERR_FILENO,
                 pids.empty() ? "Nimbla Drive quit.\n" : "Nimbla Drive did not quit in time.\n");
    }
}

int cannotRun(const std::string& why) {
    writeAll(STDERR_FILENO, std::string(kProgram) + ": " + why + "\n");
    return kExitCannotRun;
}

}  // namespace

int execute(Session& session, LogDestination& log, const Options& options, const Target& target,
            const Output& output, Report& report) {
    const platform::RunAs& user = target.user;
    RunLock lock(user.home, user.uid, user.gid);
    if (lock.state() == RunLock::State::Busy) {
        return cannotRun("another " + std::string(kProgram) + " run for " + user.user +
                         " is in progress" +
                         (lock.holder() > 0 ? " (process " + std::to_string(lock.holder()) + ")"
                                            : std::string()));
    }
    if (lock.state() == RunLock::State::Failed) {
        return cannotRun(lock.problem());
    }
    std::unique_ptr<LogCopy> copy;
    if (options.logFile) {
        std::string problem;
        copy = LogCopy::open(*options.logFile, user.user, problem);
        if (!copy) {
            writeAll(STDERR_FILENO,
                     std::string(kProgram) + ": " + problem + " (see " + kProgram + " --help)\n");
            return kExitUsage;
        }
        log.setCopy([&copy](std::string_view text) { copy->append(text); });
    }
    if (options.quitClientSeconds) {
        quitClient(session, *options.quitClientSeconds, output);
    }

    const FolderTimes before = preservationFolders(report.home);
    const Outcome outcome = options.command == Command::Reset ? reset(session) : uninstall(session);
    log.setCopy({});

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
        report.preservedFiles = preservedDuring(before, preservationFolders(report.home));
    }
    report.clientInstalled = report.clientVersion.has_value();
    return exitCodeFor(outcome.name);
}

}  // namespace nimbla::cli
