// The command line's own parts: the argument table, exit statuses, the JSON object, the progress
// lines and the per-user lock. The runs themselves are checked end to end (tests/e2e/cli-case).
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "cli/LogCopy.h"
#include "cli/Options.h"
#include "cli/Report.h"
#include "cli/RunLock.h"
#include "helpers/TestSupport.h"

namespace nimbla::cli {
namespace {

using namespace testsupport;
using Args = std::vector<std::string>;

std::string describe(const Options& o) {
    std::string text = commandName(o.command);
    text += o.user ? " user=" + *o.user : "";
    text += o.dryRun ? " dry" : "";
    text += o.json ? " json" : "";
    text += o.quiet ? " quiet" : "";
    text += o.logFile ? " log=" + *o.logFile : "";
    text += o.quitClientSeconds ? " quit=" + std::to_string(*o.quitClientSeconds) : "";
    return text;
}

TEST(Options, EveryOptionAndEveryBadInput) {
    const std::pair<Args, std::string> accepted[] = {
        {{"status"}, "status"},
        {{"reset", "--user", "alex", "--json", "--quiet"}, "reset user=alex json quiet"},
        {{"--dry-run", "uninstall", "--log", "/tmp/l"}, "uninstall dry log=/tmp/l"},
        {{"reset", "--quit-client"}, "reset quit=10"},
        {{"reset", "--quit-client=0"}, "reset quit=0"},
        {{"uninstall", "--quit-client=3600", "--user=bo"}, "uninstall user=bo quit=3600"},
        {{"reset", "--quit-client", "5"}, "reset quit=5"},
        {{"--quit-client", "reset"}, "reset quit=10"},
        {{"reset", "--log", "--quit-client", "--quit-client", "7"},
         "reset log=--quit-client quit=7"},
    };
    for (const auto& [arguments, expected] : accepted) {
        const ParseResult result = parseArguments(arguments);
        ASSERT_TRUE(result.options) << expected << ": " << result.err;
        EXPECT_EQ(describe(*result.options), expected);
    }
    const std::string see = " (see nimbla-reset --help)\n";
    const std::pair<Args, std::string> refused[] = {
        {{}, "a command is needed: status, reset or uninstall"},
        {{"--json"}, "a command is needed: status, reset or uninstall"},
        {{"repair"}, "unknown command: repair (status, reset or uninstall)"},
        {{"reset", "--force"}, "The following argument was not expected: --force"},
        {{"reset", "uninstall"}, "The following argument was not expected: uninstall"},
        {{"reset", "--quit-client=abc"},
         "--quit-client takes whole seconds from 0 to 3600, not \"abc\""},
        {{"reset", "--quit-client=-1"},
         "--quit-client takes whole seconds from 0 to 3600, not \"-1\""},
        {{"reset", "--quit-client", "3601"},
         "--quit-client takes whole seconds from 0 to 3600, not \"3601\""},
        {{"status", "--quit-client"},
         "status changes nothing; --quit-client goes with reset or uninstall"},
        {{"reset", "--user"}, "--user: 1 required NAME missing"},
        {{"reset", "--user="}, "--user: 1 required NAME missing"},
        {{"reset", "--log"}, "--log: 1 required FILE missing"},
        {{"reset", "--user", ""}, "--user needs a user name"},
        {{"uninstall", "--sizes"}, "--sizes goes with status"},
        {{"reset", "--all-users"}, "--all-users goes with status or uninstall, without --user"},
        {{"uninstall", "--all-users", "--user", "alex"},
         "--all-users goes with status or uninstall, without --user"},
    };
    for (const auto& [arguments, line] : refused) {
        const ParseResult result = parseArguments(arguments);
        EXPECT_FALSE(result.options);
        EXPECT_EQ(result.exitCode, kExitUsage);
        EXPECT_EQ(result.err, "nimbla-reset: " + line + see) << testing::PrintToString(arguments);
    }
    for (const char* asked : {"--help", "--version"}) {
        const ParseResult result = parseArguments({asked});
        EXPECT_EQ(result.exitCode, kExitSuccess);
        EXPECT_NE(result.out, "");
        EXPECT_EQ(result.err, "");
    }
}

TEST(Report, ExitStatusesAndLines) {
    StepRecord step{"Removing", "/bin/x", {}, "alex", true, true, 0, 0, 0, 4.25, 1, 2, ""};
    EXPECT_EQ(stepLine(step, false), "Removing ✓ exit 0, 4.2 ms\n");
    EXPECT_EQ(stepLine(step, true), "Removing \033[32m✓\033[0m exit 0, 4.2 ms\n");
    step = {"Removing", "/bin/x", {}, "alex", false, true, 0, -1, 9, 120, 0, 0, ""};
    EXPECT_EQ(stepLine(step, false), "Removing ✗ signal 9 (Killed), 120 ms\n");
    step = {"Removing", "/bin/x", {}, "alex", false, false, ENOENT, -1, 0, 0.5, 0, 0, ""};
    EXPECT_EQ(stepLine(step, false),
              "Removing ✗ could not start: No such file or directory, 0.5 ms\n");
    step.refusal = "/x: belongs to user 501, not root";  // the tool would not run it as root
    EXPECT_EQ(stepLine(step, false),
              "Removing ✗ not run: /x: belongs to user 501, not root, 0.5 ms\n");
    EXPECT_EQ(shellLine("/bin/bash", {"-c", "rm -rf ~/a\\ b", "it's"}),
              "/bin/bash -c 'rm -rf ~/a\\ b' 'it'\\''s'");
}

// Built from recorded step events: every field there, with its type.
TEST(Report, JsonHoldsEveryFieldWithItsType) {
    const std::vector<std::string> arguments = {"read", "x"};
    StepEvent ended;
    ended.phase = StepEvent::Phase::Ended;
    ended.description = "Reading";
    ended.program = "/usr/bin/defaults";
    ended.arguments = &arguments;
    ended.asUser = "alex";
    ended.started = true;
    ended.succeeded = true;
    ended.exitStatus = 0;
    ended.duration = std::chrono::microseconds(1500);
    ended.outputBytes = 7;
    StepEvent failed = ended;
    failed.started = false;
    failed.succeeded = false;
    failed.exitStatus = -1;
    failed.launchError = EACCES;

    Report report;
    report.command = "reset";
    report.user = "alex";
    report.home = "/Users/alex";
    report.log = "/Users/alex/Desktop/Nimbla-ResetTool-logs_25-12-29";
    report.systemVersion = "14.4.0";
    report.outcome = "RESET_SUCCESS";
    report.clientPids = {42};
    report.domainRemoval = PlanRecord{"Removing", "/bin/bash", {"-c", "x"}, "alex", {}};
    report.steps = {StepRecord::from(ended), StepRecord::from(failed)};
    report.preservedFiles = "/Users/alex/Nimbla-Nimbla (Archive)";
    report.traces = {{"/a", "file", 7, false}, {"/b", "folder", std::nullopt, true}};
    report.unlisted = {{"/c"}};
    const nlohmann::json json = nlohmann::json::parse(toJson(report).dump());

    using T = nlohmann::json::value_t;
    const std::pair<const char*, T> fields[] = {
        {"/schema", T::number_integer},
        {"/command", T::string},
        {"/user", T::string},
        {"/home", T::string},
        {"/dryRun", T::boolean},
        {"/outcome", T::string},
        {"/exitCode", T::number_integer},
        {"/log", T::string},
        {"/client/installed", T::boolean},
        {"/client/version", T::null},
        {"/client/running", T::boolean},
        {"/client/pids/0", T::number_integer},
        {"/system/version", T::string},
        {"/domainRemoval/program", T::string},
        {"/domainRemoval/arguments/1", T::string},
        {"/plan", T::array},
        {"/preservedFiles", T::string},
        {"/steps/0/description", T::string},
        {"/steps/0/program", T::string},
        {"/steps/0/arguments/0", T::string},
        {"/steps/0/asUser", T::string},
        {"/steps/0/succeeded", T::boolean},
        {"/steps/0/exitStatus", T::number_integer},
        {"/steps/0/signal", T::null},
        {"/steps/0/launchError", T::null},
        {"/steps/0/durationMs", T::number_float},
        {"/steps/0/outputBytes", T::number_integer},
        {"/steps/0/errorOutputBytes", T::number_integer},
        {"/steps/0/status", T::number_integer},
        {"/steps/0/countedAsDone", T::boolean},
        {"/steps/1/exitStatus", T::null},
        {"/steps/1/status", T::null},
        {"/complete", T::null},
        {"/failedStep", T::string},
        {"/steps/1/launchError", T::string},
        {"/traces/0/bytes", T::number_integer},
        {"/traces/1/bytes", T::null},
        {"/unlisted/0", T::string},
        {"/leftovers", T::null},
    };
    for (const auto& [pointer, type] : fields) {
        const nlohmann::json::json_pointer at(pointer);
        ASSERT_TRUE(json.contains(at)) << pointer;
        const T found = json.at(at).type();  // any integer is an integer
        EXPECT_EQ(found == T::number_unsigned ? T::number_integer : found, type) << pointer;
    }
    EXPECT_EQ(json["steps"][0]["durationMs"], 1.5);
    EXPECT_EQ(json["client"]["running"], true);
}

// Root's --log file: a control character in a line (a name's, from a command's output) shows as
// "?", so nothing in a name moves the cursor or breaks the line.
TEST(LogCopy, ControlCharactersInALineShowAsQuestionMarks) {
    TempDir dir;
    std::string problem;
    const std::unique_ptr<LogCopy> copy = LogCopy::open(dir.str() + "/fleet.log", "alex", problem);
    ASSERT_TRUE(copy) << problem;
    copy->append("Removed a\rb\x1b[2Jc\td\x7f\nnext\n");
    const std::string text = readFile(dir.path / "fleet.log");
    EXPECT_NE(text.find(" alex Removed a?b?[2Jc?d?\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" alex next\n"), std::string::npos) << text;
}

// One holder per user; the second learns its process id. (What the lock's careful open refuses,
// links and folders of others, is platform::openSafely's, tested there.)
TEST(RunLock, OneHolderAndTheSecondLearnsWho) {
    TempDir home;
    {
        RunLock first(home.str(), getuid(), getgid());
        ASSERT_EQ(first.state(), RunLock::State::Held) << first.problem();
        RunLock second(home.str(), getuid(), getgid());
        EXPECT_EQ(second.state(), RunLock::State::Busy);
        EXPECT_EQ(second.holder(), getpid());
    }
    EXPECT_EQ(RunLock(home.str(), getuid(), getgid()).state(), RunLock::State::Held);
    const std::string path = RunLock::pathIn(home.str());
    EXPECT_EQ(path, home.str() + "/Library/Caches/com.nimbla.resettool/nimbla-reset.lock");
    fs::remove(path);
    fs::create_symlink(home.path / "elsewhere", path);
    EXPECT_EQ(RunLock(home.str(), getuid(), getgid()).state(), RunLock::State::Failed);
}

// A run killed outright leaves the command it ran going, in a group of its own: the lock stays
// held, naming the group, until no member of it runs (a zombie has ended). A record whose id now
// leads a group whose leader started at another time (the id given out again) holds nothing.
TEST(RunLock, HeldWhileACommandOfAKilledRunStillRuns) {
    TempDir home;
    const pid_t step = fork();
    if (step == 0) {
        setsid();
        pause();
        _exit(0);
    }
    while (getpgid(step) != step) std::this_thread::yield();
    const auto killedRun = [&] {
        RunLock killed(home.str(), getuid(), getgid());
        ASSERT_EQ(killed.state(), RunLock::State::Held);
        killed.recordGroup(step);
    };
    killedRun();
    RunLock next(home.str(), getuid(), getgid());
    EXPECT_EQ(next.state(), RunLock::State::Busy);
    EXPECT_EQ(next.runningGroup(), step);
    std::ofstream(RunLock::pathIn(home.str()))
        << "1\ngroup " << step << " " << platform::recordOfGroup(step).leaderStart + 1 << "\n";
    EXPECT_EQ(RunLock(home.str(), getuid(), getgid()).state(), RunLock::State::Held);
    killedRun();
    kill(step, SIGKILL);
    siginfo_t ended{};
    waitid(P_PID, step, &ended, WEXITED | WNOWAIT);  // a zombie now
    EXPECT_EQ(RunLock(home.str(), getuid(), getgid()).state(), RunLock::State::Held);
    waitpid(step, nullptr, 0);
}

}  // namespace
}  // namespace nimbla::cli
