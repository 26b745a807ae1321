#include "cli/Cli.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "cli/Execute.h"
#include "cli/Options.h"
#include "cli/Probe.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "cli/Target.h"
#include "operations/Outcomes.h"
#include "operations/Uninstall.h"
#include "platform/Clock.h"
#include "platform/HomeDirectory.h"
#include "platform/SystemVersion.h"

namespace nimbla::cli {

namespace {

int refuse(const Refusal& refusal) {
    const std::string line =
        refusal.exitCode == kExitUsage
            ? std::string(kProgram) + ": " + refusal.message + " (see " + kProgram + " --help)\n"
            : std::string(kProgram) + ": " + refusal.message + "\n";
    writeAll(STDERR_FILENO, line);
    return refusal.exitCode;
}

bool folderOfExists(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    return parent.empty() || std::filesystem::is_directory(parent, error);
}

std::string versionText(const platform::OperatingSystemVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.patch);
}

// With --json, standard output holds the JSON object only: whatever else would go there (the
// privileged runner's message) goes to standard error.
Output openOutput(const Options& options) {
    Output output;
    output.human = !options.quiet;
    output.colour = ::isatty(STDERR_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
    if (options.json) {
        output.jsonFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        std::fflush(stdout);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    return output;
}

// The session of a run for `target`: as root for another user, every command runs as them and
// the log in their home belongs to them.
Session sessionFor(const Target& target, const std::string& home) {
    Session session;
    if (target.runAsUser) {
        session.runAs = target.user;
    }
    session.userName = target.user.user;
    session.home = home;
    session.clientOwner = target.runAsUser ? target.user.uid : ::getuid();
    return session;
}

int finish(const Output& output, Report& report, StepLog& stepLog, int exitCode) {
    report.exitCode = exitCode;
    report.steps = stepLog.steps();
    if (output.human) {
        writeAll(STDERR_FILENO, closingLine(report));
    }
    if (output.jsonFd >= 0) {
        writeAll(output.jsonFd, toJson(report).dump(2) + "\n");
    }
    return exitCode;
}

}  // namespace

int run(const std::vector<std::string>& arguments) {
    // A reader that went away (a closed pipe on standard error, say) must not end a run half
    // way; the children start with the default disposition again.
    ::signal(SIGPIPE, SIG_IGN);

    // 1. What was asked.
    ParseResult parsed = parseArguments(arguments);
    if (!parsed.options) {
        writeAll(STDOUT_FILENO, parsed.out);
        writeAll(STDERR_FILENO, parsed.err);
        return parsed.exitCode;
    }
    const Options& options = *parsed.options;
    const bool realRun = options.command != Command::Status && !options.dryRun;
    if (options.logFile && !folderOfExists(*options.logFile)) {
        return refuse({kExitUsage, "LOG_REFUSED",
                       "cannot open the log file " + *options.logFile + ": no such folder"});
    }

    // 2. Whose client, and the session that works for them.
    const auto chosen = chooseTarget(options, ::getuid(), ::geteuid(), Accounts::system());
    if (const Refusal* refusal = std::get_if<Refusal>(&chosen)) {
        return refuse(*refusal);
    }
    const Target& target = std::get<Target>(chosen);
    // As root the user database says where the user's home is, whatever HOME says.
    const std::string home = ::geteuid() == 0 ? target.user.home : platform::homeDirectory();
    LogDestination log(logPathFor(home, platform::now()));
    if (target.runAsUser) {
        log.setOwner(target.user.uid, target.user.gid);
    }
    const Output output = openOutput(options);
    StepLog stepLog(output);
    Session session = sessionFor(target, home);
    session.log = realRun ? &log : nullptr;  // the probes leave no trace
    session.observer = [&stepLog](const StepEvent& event) {
        if (event.phase == StepEvent::Phase::Ended) {
            stepLog.ended(event);
        }
    };

    // 3. The report's fixed facts.
    Report report;
    report.command = commandName(options.command);
    report.user = target.user.user;
    report.home = home;
    report.dryRun = !realRun;
    report.log = log.path();
    report.systemVersion = versionText(platform::operatingSystemVersion());
    report.userScript = userUninstallScript();
    report.privilegedScript = privilegedUninstallScript();

    // 4. Look, or act.
    if (!realRun) {
        probe(session, options.command, report);
        if (output.human) {
            writeAll(STDERR_FILENO, options.command == Command::Status
                                        ? statusText(report)
                                        : planText(report, options.quitClientSeconds.has_value()));
        }
        const bool refused = options.command != Command::Status && !report.clientPids.empty() &&
                             !options.quitClientSeconds;
        if (refused) {
            report.outcome = std::string(outcomes::nimblaDriveRunning);
        }
        return finish(output, report, stepLog, refused ? kExitClientRunning : kExitSuccess);
    }
    const int exitCode = execute(session, log, options, target, output, report);
    if (exitCode == kExitCannotRun || exitCode == kExitUsage) {
        return exitCode;  // refused before anything ran; it said why
    }
    return finish(output, report, stepLog, exitCode);
}

}  // namespace nimbla::cli
