#include "cli/Cli.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "cli/Options.h"
#include "cli/Report.h"
#include "cli/RunLock.h"
#include "logging/Logger.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "operations/Uninstall.h"
#include "platform/HomeDirectory.h"
#include "platform/NotificationCenter.h"
#include "platform/Queues.h"
#include "platform/SystemVersion.h"
#include "platform/Users.h"
#include "platform/Workspace.h"
#include "process/Steps.h"

namespace nimbla::cli {

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kProgram = "nimbla-reset";
constexpr const char* kArchiveFolder = "Nimbla-Nimbla (Archive)";
constexpr const char* kCloudStoragePrefix = "Nimbla-Nimbla (";

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

int cannotRun(const std::string& why) {
    writeAll(STDERR_FILENO, std::string(kProgram) + ": " + why + "\n");
    return kExitCannotRun;
}

int usage(const std::string& why) {
    writeAll(STDERR_FILENO,
             std::string(kProgram) + ": " + why + " (see " + kProgram + " --help)\n");
    return kExitUsage;
}

// The folders never-uploaded files may go to, each with the newest change time of the folder and
// its direct entries: the archive folder and the client's CloudStorage folders. Only one level is
// looked at, so a large archive costs no walk through all of it; a run that adds to an existing
// archive changes the folder or one of its entries.
using FolderTimes = std::map<std::string, fs::file_time_type>;

fs::file_time_type newestIn(const fs::path& folder) {
    std::error_code error;
    fs::file_time_type newest = fs::last_write_time(folder, error);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const auto time = fs::last_write_time(it->path(), ignored);
        if (!ignored && time > newest) {
            newest = time;
        }
    }
    return newest;
}

FolderTimes preservationFolders(const std::string& home) {
    FolderTimes folders;
    std::error_code error;
    const fs::path archive = fs::path(home) / kArchiveFolder;
    if (fs::symlink_status(archive, error).type() == fs::file_type::directory) {
        folders[archive.string()] = newestIn(archive);
    }
    for (fs::directory_iterator it(fs::path(home) / "Library" / "CloudStorage", error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(kCloudStoragePrefix) && it->is_directory(error) &&
            !it->is_symlink(error)) {
            folders[it->path().string()] = newestIn(it->path());
        }
    }
    return folders;
}

// The folder created during the run, else the one changed during it.
std::optional<std::string> preservedDuring(const FolderTimes& before, const FolderTimes& after) {
    std::optional<std::string> changed;
    for (const auto& [path, time] : after) {
        const auto earlier = before.find(path);
        if (earlier == before.end()) {
            return path;
        }
        if (time != earlier->second && !changed) {
            changed = path;
        }
    }
    return changed;
}

std::vector<pid_t> clientPidsIn(const std::vector<platform::RunningApplication>& applications) {
    std::vector<pid_t> pids;
    for (const auto& application : applications) {
        if (application.bundleIdentifier &&
            *application.bundleIdentifier == kNimblaBundleIdentifier) {
            pids.push_back(application.pid);
        }
    }
    return pids;
}

std::vector<pid_t> clientPids() {
    return clientPidsIn(platform::runningApplications());
}

// The client's process ids as the last look at the running applications saw them (the
// workflow's own running check, say).
class ClientWatch {
public:
    void saw(const std::vector<platform::RunningApplication>& applications) {
        std::vector<pid_t> pids = clientPidsIn(applications);
        std::lock_guard lock(mutex_);
        pids_ = std::move(pids);
    }
    std::vector<pid_t> pids() {
        std::lock_guard lock(mutex_);
        return pids_;
    }

private:
    std::mutex mutex_;
    std::vector<pid_t> pids_;
};

std::string versionText(const platform::OperatingSystemVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.patch);
}

std::string trimmedLine(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// Every log line also goes to the --log file, prefixed with the UTC time and the user.
class LogCopy {
public:
    LogCopy(int fd, std::string user) : fd_(fd), user_(std::move(user)) {}

    void append(std::string_view text) {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto millis =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000;
        std::tm utc{};
        ::gmtime_r(&seconds, &utc);
        char stamp[40];
        const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
        std::snprintf(stamp + length, sizeof stamp - length, ".%03dZ", static_cast<int>(millis));
        const std::string prefix = std::string(stamp) + " " + user_ + " ";
        std::string lines;
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            const std::string_view line = text.substr(0, end);
            lines += prefix;
            lines += line;
            lines += '\n';
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
        std::lock_guard lock(mutex_);
        writeAll(fd_, lines);
    }

private:
    std::mutex mutex_;
    int fd_;
    std::string user_;
};

// Everything one run needs to know about its output.
struct Output {
    bool human = true;  // progress on standard error
    bool colour = false;
    int jsonFd = -1;  // where the JSON object goes (the original standard output)
};

// Records each step as it ends and prints its line.
class StepLog {
public:
    explicit StepLog(const Output& output) : output_(output) {}

    void ended(const StepEvent& event) {
        StepRecord step = StepRecord::from(event);
        std::lock_guard lock(mutex_);
        if (event.description == versionReadStep().description) {
            version_ = event.succeeded ? std::optional(trimmedLine(event.output)) : std::nullopt;
        }
        if (output_.human) {
            writeAll(STDERR_FILENO, stepLine(step, output_.colour));
        }
        steps_.push_back(std::move(step));
    }

    std::vector<StepRecord> steps() {
        std::lock_guard lock(mutex_);
        return steps_;
    }
    std::optional<std::string> version() {
        std::lock_guard lock(mutex_);
        return version_;
    }

private:
    const Output& output_;
    std::mutex mutex_;
    std::vector<StepRecord> steps_;
    std::optional<std::string> version_;
};

PlanRecord planned(const PlannedStep& step) {
    return {step.description, step.program, step.arguments,
            step.asAdministrator ? "root" : commandsRunAsName()};
}

// Asks the client to quit (SIGTERM to each of its processes) and waits up to `seconds` for it.
void quitClient(int seconds, const Output& output) {
    std::vector<pid_t> pids = clientPids();
    if (pids.empty()) {
        return;
    }
    for (pid_t pid : pids) {
        ::kill(pid, SIGTERM);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!pids.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        pids = clientPids();
    }
    if (output.human) {
        writeAll(STDERR_FILENO,
                 pids.empty() ? "Nimbla Drive quit.\n" : "Nimbla Drive did not quit in time.\n");
    }
}

// Opens the --log file for appending: created 0640 when missing, never through a link, and
// only a regular file with no other name (a hard link planted in a shared folder would have root
// append to a file someone else chose).
int openLogCopy(const std::string& path, std::string& problem) {
    const int fd = ::open(
        path.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0640);
    struct stat st {};
    if (fd < 0) {
        problem = "cannot open the log file " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        ::close(fd);
        problem = "the log file " + path + " is not a regular file with one name";
        return -1;
    }
    return fd;
}

bool folderOfExists(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    std::error_code error;
    return parent.empty() || fs::is_directory(parent, error);
}

}  // namespace

int run(const std::vector<std::string>& arguments) {
    // A reader that went away (a closed pipe on standard error, say) must not end a run half
    // way; the children start with the default disposition again.
    ::signal(SIGPIPE, SIG_IGN);
    ParseResult parsed = parseArguments(arguments);
    if (!parsed.options) {
        writeAll(STDOUT_FILENO, parsed.out);
        writeAll(STDERR_FILENO, parsed.err);
        return parsed.exitCode;
    }
    const Options& options = *parsed.options;
    const bool realRun = options.command != Command::Status && !options.dryRun;

    // A --log file in a missing folder is bad input, found before anything runs.
    if (options.logFile && !folderOfExists(*options.logFile)) {
        return usage("cannot open the log file " + *options.logFile + ": no such folder");
    }

    // Whose client.
    const bool root = ::geteuid() == 0;
    std::optional<platform::RunAs> target;
    if (options.user) {
        target = platform::lookUpUser(*options.user);
        if (!target) {
            return cannotRun("no such user: " + *options.user);
        }
        if (!root && target->uid != ::getuid()) {
            return cannotRun("--user " + *options.user + " needs root (run it with sudo)");
        }
    } else if (root) {
        target = platform::consoleUser();
        if (!target) {
            return cannotRun("nobody is logged in at the console; name the user with --user");
        }
    } else {
        target = platform::lookUpUser(::getuid());
        if (!target) {
            return cannotRun("the user database has no entry for uid " +
                             std::to_string(::getuid()));
        }
    }
    if (root) {
        // As root the user database says where the user's home is, whatever HOME says.
        const std::string home = target->home;
        platform::homeDirectorySeam().replace([home] { return home; });
    }
    const bool forAnotherUser = root && target->uid != 0;
    // The running check looks at the target user's applications, and the report keeps what the
    // last look saw.
    const uid_t lookedAt = forAnotherUser ? target->uid : ::getuid();
    static ClientWatch clientWatch;  // the seam outlives this call
    platform::workspaceSeam().replace([lookedAt] {
        auto applications = platform::runningApplicationsOf(lookedAt);
        clientWatch.saw(applications);
        return applications;
    });
    if (forAnotherUser) {
        dest().setOwner(target->uid, target->gid);
        setCommandsRunAs(target);
    } else {
        setCommandsRunAs(std::nullopt);
    }

    Output output;
    output.human = !options.quiet;
    output.colour = ::isatty(STDERR_FILENO) == 1 && std::getenv("NO_COLOR") == nullptr;
    if (options.json) {
        // Standard output holds the JSON object only: whatever else would go there (the
        // privileged runner's message) goes to standard error.
        output.jsonFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        std::fflush(stdout);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    }

    Report report;
    report.command = commandName(options.command);
    report.user = target->user;
    report.home = platform::homeDirectory();
    report.dryRun = options.dryRun || options.command == Command::Status;
    report.log = dest().path();
    report.systemVersion = versionText(platform::operatingSystemVersion());
    report.userScript = userUninstallScript();
    report.privilegedScript = privilegedUninstallScript();

    StepLog stepLog(output);
    setStepObserver([&stepLog](const StepEvent& event) {
        if (event.phase == StepEvent::Phase::Ended) {
            stepLog.ended(event);
        }
    });

    auto finish = [&](int exitCode) {
        setStepObserver({});
        report.exitCode = exitCode;
        report.steps = stepLog.steps();
        if (output.human) {
            writeAll(STDERR_FILENO, closingLine(report));
        }
        if (output.jsonFd >= 0) {
            writeAll(output.jsonFd, toJson(report).dump(2) + "\n");
        }
        return exitCode;
    };

    if (!realRun) {
        // The read-only probes, which log nothing.
        setLoggingEnabled(false);
        report.clientPids = clientPids();
        const ProcessResult version = readClientVersion();
        report.clientInstalled = version.succeeded;
        if (version.succeeded) {
            report.clientVersion = trimmedLine(version.output);
        }
        const RemovalCommand removal = domainRemovalFor(version);
        const PlannedStep removalStep = domainRemovalStep(removal);
        report.domainRemoval = planned(removalStep);
        if (options.command != Command::Status) {
            report.plan.push_back(planned(versionReadStep()));
            for (const PlannedStep& step : options.command == Command::Reset
                                               ? resetSteps(removal)
                                               : uninstallSteps(removal)) {
                report.plan.push_back(planned(step));
            }
        }
        const bool running = !report.clientPids.empty();
        if (output.human) {
            std::string text;
            if (options.command == Command::Status) {
                text += "Nimbla Drive: " +
                        (report.clientVersion ? "version " + *report.clientVersion
                                              : std::string("not installed (version unreadable)")) +
                        "\n";
                std::string pids;
                for (pid_t pid : report.clientPids) {
                    pids += " " + std::to_string(pid);
                }
                text += running ? "Running: yes, process" + pids + "\n" : "Running: no\n";
                text += "System: " + report.systemVersion + "\n";
                text += "Domain removal: " +
                        shellLine(report.domainRemoval->program, report.domainRemoval->arguments) +
                        "\n";
                text += "Uninstall script (user): " + report.userScript.value_or("missing") + "\n";
                text += "Uninstall script (administrator): " +
                        report.privilegedScript.value_or("missing") + "\n";
                text += "Log: " + report.log + "\n";
            } else {
                if (running) {
                    text += options.quitClientSeconds
                                ? "Nimbla Drive is running; it would be asked to quit first.\n"
                                : "Nimbla Drive is running; the " + report.command +
                                      " would be refused.\n";
                }
                text += "Would run, in order:\n";
                for (const PlanRecord& step : report.plan) {
                    text += "  " + step.description + ": " +
                            shellLine(step.program, step.arguments) + "  (as " + step.asUser +
                            ")\n";
                }
            }
            writeAll(STDERR_FILENO, text);
        }
        if (options.command != Command::Status && running && !options.quitClientSeconds) {
            report.outcome = std::string(outcomes::nimblaDriveRunning);
            return finish(kExitClientRunning);
        }
        return finish(kExitSuccess);
    }

    // A real run: one per user at a time.
    RunLock lock(target->home, target->uid, target->gid);
    if (lock.state() == RunLock::State::Busy) {
        return cannotRun("another " + std::string(kProgram) + " run for " + target->user +
                         " is in progress" +
                         (lock.holder() > 0 ? " (process " + std::to_string(lock.holder()) + ")"
                                            : std::string()));
    }
    if (lock.state() == RunLock::State::Failed) {
        return cannotRun(lock.problem());
    }
    std::unique_ptr<LogCopy> logCopy;
    if (options.logFile) {
        std::string problem;
        const int logCopyFd = openLogCopy(*options.logFile, problem);
        if (logCopyFd < 0) {
            return usage(problem);
        }
        logCopy = std::make_unique<LogCopy>(logCopyFd, target->user);
        setLogTee([&logCopy](std::string_view text) { logCopy->append(text); });
    }
    if (options.quitClientSeconds) {
        quitClient(*options.quitClientSeconds, output);
    }

    const FolderTimes before = preservationFolders(report.home);

    std::atomic<bool> done = false;
    std::string outcome;
    auto& center = platform::NotificationCenter::defaultCenter();
    std::vector<platform::NotificationCenter::Token> tokens;
    for (std::string_view name :
         {outcomes::resetSuccess, outcomes::resetFailed, outcomes::uninstallSuccess,
          outcomes::uninstallFailed, outcomes::nimblaDriveRunning}) {
        tokens.push_back(center.addObserver(name, [&outcome, &done, name] {
            if (!done) {
                outcome = name;
                done = true;
            }
        }));
    }
    if (options.command == Command::Reset) {
        resetNimbla();
    } else {
        uninstallNimbla();
    }
    while (!done) {
        platform::mainRunLoop().runFor(1000ms);
    }
    for (auto token : tokens) {
        center.removeObserver(token);
    }
    platform::waitForBackgroundIdle();  // the last task may still be ending
    setLogTee({});

    report.outcome = outcome;
    report.clientPids = clientWatch.pids();
    report.clientVersion = stepLog.version();
    if (outcome == outcomes::nimblaDriveRunning) {
        // Refused before the version read: read it now, quietly, for the report only.
        setStepObserver({});
        setLoggingEnabled(false);
        if (const ProcessResult version = readClientVersion(); version.succeeded) {
            report.clientVersion = trimmedLine(version.output);
        }
    }
    report.clientInstalled = report.clientVersion.has_value();
    for (const StepRecord& step : stepLog.steps()) {
        if (step.description == domainRemovalStep({}).description) {
            report.domainRemoval =
                PlanRecord{step.description, step.program, step.arguments, step.asUser};
        }
    }
    if (outcome != outcomes::nimblaDriveRunning) {
        report.preservedFiles = preservedDuring(before, preservationFolders(report.home));
    }
    return finish(exitCodeFor(outcome));
}

}  // namespace nimbla::cli
