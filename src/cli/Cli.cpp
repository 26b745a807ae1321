#include "cli/Cli.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "cli/AllUsers.h"
#include "cli/Execute.h"
#include "cli/Interruption.h"
#include "cli/Options.h"
#include "cli/Outputs.h"
#include "cli/Probe.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "operations/Outcomes.h"
#include "operations/Traces.h"
#include "operations/Uninstall.h"
#include "platform/BuildInfo.h"
#include "platform/Clock.h"
#include "platform/HomeDirectory.h"
#include "platform/SystemVersion.h"

namespace nimbla::cli {

namespace {

bool folderOfExists(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    return parent.empty() || std::filesystem::is_directory(parent, error);
}

std::string versionText(const platform::OperatingSystemVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.patch);
}

// Ends the run: the closing line (a failure's or a refusal's even with --quiet), the --log
// file's last lines and the JSON object. A JSON object that could not be written whole fails
// the run.
int finish(const Outputs& outputs, Report& report, StepLog* stepLog, int exitCode,
           LogCopy* copy = nullptr) {
    report.exitCode = exitCode;
    const std::string closing = closingLine(report) + unlistedLine(report);
    if (exitCode == kExitClientRunning && !report.error) {
        report.error =
            ErrorRecord{"CLIENT_RUNNING", closing.substr(0, closing.size() - 1), {report.user}};
    }
    if (stepLog != nullptr) {
        report.steps = stepLog->steps();
    }
    if (copy != nullptr) {
        if (report.error) {
            copy->append("Refused or stopped (" + report.error->code +
                         "): " + report.error->message + "\n");
        }
        copy->append("End: outcome " + report.outcome.value_or("none") + ", exit status " +
                     std::to_string(exitCode) + ", leftovers " +
                     (report.leftovers ? std::to_string(report.leftovers->size()) : "-") + "\n");
    }
    if (outputs.output.human || exitCode != kExitSuccess) {
        writeAll(STDERR_FILENO, closing);
    }
    if (outputs.json()) {
        const std::string json =
            toJson(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        if (!writeAll(outputs.output.jsonFd, json)) {
            return std::max(exitCode, int(kExitFailed));
        }
    }
    return exitCode;
}

// The session of a run for `target`: as root, every command runs as the user, and the log in
// their home belongs to them.
Session sessionFor(const Target& target, const std::string& home) {
    Session session;
    if (target.runAsUser) {
        session.runAs = target.user;
    }
    session.userName = target.user.user;
    session.home = home;
    session.clientOwner = target.user.uid;
    return session;
}

// The --log file's first line: what runs, with every option given, for whom, by whom.
std::string startLine(const Options& options, const Context& context, const Target* target) {
    std::string line = std::string("Start: ") + kProgram + " " + platform::build::projectVersion +
                       " " + shellLine(commandName(options.command), options.given);
    if (target != nullptr) {
        line += " for " + target->user.user + " (uid " + std::to_string(target->user.uid) + ")";
    }
    const auto by = context.userWithId(context.effectiveUid);
    return line + ", run by " + (by ? by->user : std::string("?")) + " (uid " +
           std::to_string(context.effectiveUid) + "), process " + std::to_string(::getpid()) + "\n";
}

// The read-only probes of status and a dry run: what they print, and the exit status the real
// run would have (3 when a client it would meet runs, 1 when a step it needs cannot run; status
// whose report cannot be written exits 1). Interrupted, it prints nothing.
int look(const Session& session, const Options& options, const Target& target,
         const Outputs& outputs, Report& report) {
    probe(session, options.command, report,
          options.sizes ? std::nullopt : std::optional<std::size_t>(kSizeBudget));
    if (report.error) {
        return kExitCannotRun;
    }
    if (session.interrupted()) {
        return kExitSuccess;
    }
    Verdict verdict;
    if (options.command != Command::Status) {
        std::optional<std::string> others = std::string();
        if (options.command == Command::Uninstall && target.runAsUser) {
            others = clientsOfOthers(target.user.uid);
        }
        if (!others) {
            report.error = ErrorRecord{"PROCESS_LIST_FAILED", kProcessListFailure};
            return kExitCannotRun;
        }
        if (!report.clientPids.empty() && !options.quitClientSeconds) {
            verdict.exitCode = kExitClientRunning;
        } else if (!others->empty()) {
            verdict = {kExitClientRunning, "Nimbla Drive is running for " + *others +
                                               "; the app is shared, so the uninstall would be "
                                               "refused.\n"};
            report.error =
                ErrorRecord{"CLIENT_RUNNING", verdict.why.substr(0, verdict.why.size() - 2)};
        } else if (verdict = dryRunVerdict(options.command, report); verdict.exitCode != 0) {
            report.error =
                ErrorRecord{"SCRIPT_MISSING", verdict.why.substr(0, verdict.why.size() - 2)};
        }
        if (verdict.exitCode == kExitClientRunning) {
            report.outcome = std::string(outcomes::nimblaDriveRunning);
        }
    }
    // The answer: status's report, or the dry run's plan, on standard output even with --quiet;
    // with --json the object is the answer, and the text goes to standard error (not with
    // --quiet). An answer that cannot be written fails the run.
    if (!options.json || outputs.output.human) {
        const std::string answer =
            options.command == Command::Status
                ? statusText(report)
                : planText(report, options.quitClientSeconds.has_value()) + verdict.why;
        if (!writeAll(STDOUT_FILENO, answer)) {
            writeAll(STDERR_FILENO, std::string(kProgram) + ": cannot write the " +
                                        (options.command == Command::Status ? "status" : "plan") +
                                        "\n");
            return kExitFailed;
        }
    }
    return verdict.exitCode;
}

// A run that cannot start from what was asked: --help, --version, or a usage error (one line,
// and with --json the JSON object too).
int notRun(const ParseResult& parsed, bool json) {
    writeAll(STDOUT_FILENO, parsed.out);
    if (parsed.exitCode != kExitUsage || !json) {
        writeAll(STDERR_FILENO, parsed.err);
        return parsed.exitCode;
    }
    Outputs outputs(true, false);
    Report report;
    std::string message = parsed.err.substr(std::string(kProgram).size() + 2);
    message.pop_back();
    report.error = ErrorRecord{"USAGE", message};
    return finish(outputs, report, nullptr, parsed.exitCode);
}

// What the report says before anything is looked at.
Report reportOf(const Options& options, bool realRun) {
    Report report;
    report.command = commandName(options.command);
    report.dryRun = !realRun;
    report.systemVersion = versionText(platform::operatingSystemVersion());
    report.userScript = userUninstallScript();
    report.privilegedScript = privilegedUninstallScript();
    return report;
}

// look, stopped by a signal like a real run: the probes and what they run end, and the answer
// still comes, and says so.
int lookUntilInterrupted(Session& session, const Options& options, const Target& target,
                         const Outputs& outputs, Report& report) {
    Interruption interruption;
    session.interruption = &interruption.signal();
    session.childWatch = [&interruption](pid_t group) { interruption.running(group); };
    int exitCode = look(session, options, target, outputs, report);
    if (const int signal = interruption.signal(); signal != 0) {
        exitCode = interruptedBy(signal, "nothing was changed", report);
    }
    session.interruption = nullptr;
    session.childWatch = {};
    return exitCode;
}

bool asksForJson(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
}

}  // namespace

void openClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0) {
            const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
}

int run(const std::vector<std::string>& arguments) {
    openClosedStandardDescriptors();
    // A reader that went away (a closed pipe on standard error, say) must not end a run half
    // way; the children start with the default disposition again.
    ::signal(SIGPIPE, SIG_IGN);
    return run(arguments, Context::ofThisProcess());
}

int run(const std::vector<std::string>& arguments, const Context& context) {
    // 1. What was asked.
    ParseResult parsed = parseArguments(arguments);
    if (!parsed.options) {
        return notRun(parsed, asksForJson(arguments));
    }
    const Options& options = *parsed.options;
    const bool realRun = options.command != Command::Status && !options.dryRun;
    Outputs outputs(options.json, options.quiet);
    Report report = reportOf(options, realRun);
    std::unique_ptr<LogCopy> copy;
    if (options.logFile) {
        std::string problem = "cannot open the log file " + *options.logFile + ": no such folder";
        if (folderOfExists(*options.logFile) && realRun) {
            copy = LogCopy::open(*options.logFile, "-", problem);
        }
        if (!copy && (realRun || !folderOfExists(*options.logFile))) {
            report.error = ErrorRecord{"LOG_REFUSED", withHelpHint(problem)};
            return finish(outputs, report, nullptr, kExitUsage);
        }
    }

    // 2. Whose client, and the session that works for them: every account with --all-users,
    // and for status, the machine when nobody is at the console.
    const auto chosen = chooseTarget(options, context);
    const Target* target = std::get_if<Target>(&chosen);
    const Refusal* refusal = std::get_if<Refusal>(&chosen);
    if (options.allUsers || (options.command == Command::Status && context.effectiveUid == 0 &&
                             refusal != nullptr && refusal->code == kNoConsoleUser)) {
        if (copy) {
            copy->append(startLine(options, context, nullptr));
        }
        return finish(outputs, report, nullptr,
                      everyAccount(options, context, outputs.output, report, copy.get()),
                      copy.get());
    }
    if (copy) {
        if (target != nullptr) {
            copy->setUser(target->user.user);
        }
        copy->append(startLine(options, context, target));
    }
    if (refusal != nullptr) {
        report.error = ErrorRecord{refusal->code, refusal->message};
        return finish(outputs, report, nullptr, refusal->exitCode, copy.get());
    }
    // As root the user database says where the user's home is, whatever HOME says.
    const std::string home =
        context.effectiveUid == 0 ? target->user.home : platform::homeDirectory();
    LogDestination log(logPathFor(home, platform::now()));
    if (target->runAsUser) {
        log.setOwner(target->user.uid, target->user.gid);
    }
    StepLog stepLog(outputs.output);
    Session session = sessionFor(*target, home);
    session.log = realRun ? &log : nullptr;  // the probes leave no trace
    session.observer = [&stepLog](const StepEvent& event) {
        if (event.phase == StepEvent::Phase::Ended) {
            stepLog.ended(event);
        }
    };
    report.user = target->user.user;
    report.home = home;
    report.log = log.path();

    // 3. Look, or act.
    if (!realRun) {
        return finish(outputs, report, &stepLog,
                      lookUntilInterrupted(session, options, *target, outputs, report));
    }
    const int exitCode =
        execute(session, log, options, *target, outputs.output, report, copy.get());
    if (options.command == Command::Uninstall && target->runAsUser && report.leftovers) {
        report.otherAccountsWithTraces = otherAccountsWithTraces(context, target->user.uid);
    }
    return finish(outputs, report, &stepLog, exitCode, copy.get());
}

}  // namespace nimbla::cli
