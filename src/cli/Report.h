#pragma once

#include <sys/types.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "process/Steps.h"

namespace nimbla::cli {

// One command as it ended.
struct StepRecord {
    std::string description;
    std::string program;
    std::vector<std::string> arguments;
    std::string asUser;
    bool succeeded = false;
    bool started = false;
    int launchError = 0;  // an errno value
    int exitStatus = -1;  // when it exited, else -1
    int signal = 0;
    double durationMs = 0;
    std::size_t outputBytes = 0;
    std::size_t errorOutputBytes = 0;
    std::string refusal;         // why the tool would not start it, else empty
    bool countedAsDone = false;  // it failed, and the run took it as done (`succeeded` then too)

    static StepRecord from(const StepEvent& ended);
};

// One command as it would run, with the existing paths it would remove.
struct PlanRecord {
    std::string description;
    std::string program;
    std::vector<std::string> arguments;
    std::string asUser;
    std::vector<std::string> removes;
};

// One trace of the client on disk.
struct TraceRecord {
    std::string path;
    std::string kind;
    std::optional<std::uintmax_t> bytes;  // none: not known (unreadable, or over the budget)
    bool kept = false;
};

// Why a run ended early: a code for scripts (USAGE, NO_SUCH_USER, NO_CONSOLE_USER, NO_HOME,
// NEEDS_ROOT, LOCKED, LOG_REFUSED, CLIENT_RUNNING, INTERRUPTED, ...) and one line for people.
struct ErrorRecord {
    std::string code;
    std::string message;
    std::vector<std::string> accounts = {};  // CLIENT_RUNNING: whose client runs
};

// One process of the client asked to quit: the signal sent (0: none, the Apple event was
// enough), whether it ended in time, and what ended it ("appleEvent", "signal"; "" while it
// runs).
struct QuitRecord {
    pid_t pid = 0;
    int signal = 0;
    bool ended = false;
    std::string how = {};
};

// One account of a run for every account (--all-users, and status at the login window): what
// was found and done for it.
struct AccountRecord {
    std::string user;
    uid_t uid = 0;
    std::string home;
    std::optional<std::string> outcome;                 // uninstall: the account's own steps
    std::vector<StepRecord> steps;                      // uninstall
    std::vector<PlanRecord> plan;                       // --dry-run
    std::optional<std::vector<TraceRecord>> traces;     // status
    std::optional<std::vector<std::string>> leftovers;  // uninstall
};

// A running client of any account, as root sees them.
struct ClientRecord {
    std::string user;
    uid_t uid = 0;
    pid_t pid = 0;
};

// Everything one run found and did: what --json prints, field by field. What is not known (an
// empty text, no outcome) prints as null.
struct Report {
    std::string command;
    std::string user;
    std::string home;
    bool dryRun = false;
    std::optional<std::string> outcome;  // one of the five notification names
    int exitCode = 0;
    std::string log;
    bool clientInstalled = false;
    std::optional<std::string> clientVersion;
    std::vector<pid_t> clientPids;
    std::string systemVersion;
    std::optional<PlanRecord> domainRemoval;
    std::vector<StepRecord> steps;
    std::vector<PlanRecord> plan;
    std::optional<std::string> userScript;
    std::optional<std::string> privilegedScript;
    std::optional<std::string> preservedFiles;
    std::vector<QuitRecord> clientQuits;
    std::optional<std::vector<TraceRecord>> traces;     // status
    std::optional<std::vector<std::string>> leftovers;  // after an uninstall
    std::optional<std::vector<std::string>> unlisted;   // status, uninstall: not in the list
    std::optional<bool> relaunched;                     // reset --relaunch
    std::optional<ErrorRecord> error;
    // As root: every account's running clients (status, --all-users), each account's part
    // (--all-users; status at the login window: null without --all-users), and after an
    // uninstall for one account, the other accounts that still have traces.
    std::optional<std::vector<ClientRecord>> runningClients;
    std::optional<std::vector<AccountRecord>> accounts;
    std::optional<std::vector<std::string>> otherAccountsWithTraces;
};

// The outcome of a run stopped by a signal.
inline constexpr std::string_view kInterrupted = "INTERRUPTED";

// Ends a run early: sets the report's error and gives `exitCode` back.
inline int refused(Report& report, int exitCode, std::string code, std::string message) {
    report.error = ErrorRecord{std::move(code), std::move(message)};
    return exitCode;
}

nlohmann::json toJson(const Report& report);
// Its "accounts" and "runningClients" (null when the run did not look at every account).
nlohmann::json accountsJson(const Report& report);
nlohmann::json runningClientsJson(const Report& report);

// After an uninstall for one account, as root: " for alex; sam and 2 other accounts still have
// traces: uninstall --all-users" (" for alex" when no other has any); else empty.
std::string tracesElsewhere(const Report& report);

// The exit status for an outcome notification's name (1 for an unknown one).
int exitCodeFor(std::string_view outcome);

// How a step ended, in words: "exit 0", "signal 9 (Killed)", "could not start: <reason>".
std::string howItEnded(const StepRecord& step);

// The progress line of a step as it ends:
//   "<description> ✓ exit 0, 12 ms"   (✓ green and ✗ red when `colour`)
std::string stepLine(const StepRecord& step, bool colour);

// The closing line: the outcome in words, and after a success where never-uploaded files went;
// for a run that ended early, why.
std::string closingLine(const Report& report);

// The client's data the list does not name, as one line ("" when there is none).
std::string unlistedLine(const Report& report);

// A command and its arguments as one line, each quoted for a POSIX shell when it has to be.
std::string shellLine(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace nimbla::cli
