#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "cli/LogCopy.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/Report.h"
#include "cli/Target.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Plan.h"
#include "process/Session.h"

// The machine as the unit: every person's account, the login window, and the clients of all.
namespace nimbla::cli {

// The accounts of people on the machine: uid 500 or above with a home folder of their own, one
// per uid, in uid order.
std::vector<platform::RunAs> personAccounts(const Context& context);

// The session of a run as root for `account` (as a run with --user for it has).
Session sessionOf(const platform::RunAs& account);

// The report's record of `account`, with nothing found or done yet.
AccountRecord recordOf(const platform::RunAs& account);

// An uninstall plan's steps as the user, or the administrator's only.
Plan userPart(Plan plan);
Plan machinePart(Plan plan);

// Clients as a message names them: "alex (process 11), sam (process 12)".
std::string clientsText(const std::vector<ClientProcess>& clients);

// The running clients of every account but `except`, so named, or empty; none when the process
// list cannot be read.
std::optional<std::string> clientsOfOthers(uid_t except);

// The other person accounts that still hold traces of the client (the user's part of the list,
// and the file-provider domain).
std::vector<std::string> otherAccountsWithTraces(const Context& context, uid_t except);

// `status` for the machine (as root at the login window, or with --all-users): the client,
// every account's running clients, the machine's traces and, with --all-users, each account's.
// Prints the status text when `output.human`. Exit status 0.
int machineStatus(const Options& options, const Context& context, const Output& output,
                  Report& report);

// `uninstall --all-users` (as root): decides before changing anything (every account's lock,
// every account's client), then each account's steps as that account, then the administrator
// script once; with --dry-run, each account's plan and the status the run would have.
int uninstallEveryAccount(const Options& options, const Context& context, const Output& output,
                          Report& report, LogCopy* copy);

// --all-users (root only), and status as root at the login window: machineStatus or
// uninstallEveryAccount.
int everyAccount(const Options& options, const Context& context, const Output& output,
                 Report& report, LogCopy* copy);

// The dry run of uninstallEveryAccount: each account's plan (with what it would remove), the
// machine's in the report's own plan, and the status the run would have.
int planEveryAccount(const std::vector<platform::RunAs>& accounts, const Output& output,
                     bool quitsClient, Report& report);

// Why a dry run of `command` would not succeed though the client is not running here: a line,
// and the status the real run would have (0 with an empty line when nothing stands in the way).
struct Verdict {
    int exitCode = kExitSuccess;
    std::string why;
};
Verdict dryRunVerdict(Command command, const Report& report);

}  // namespace nimbla::cli
