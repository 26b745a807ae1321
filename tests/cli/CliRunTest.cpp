// The command line run in process, as a device-management script runs it, with every outside
// party replaced: the accounts, the commands, the running applications, the bundle's scripts.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "cli/Cli.h"
#include "helpers/TestSupport.h"
#include "operations/NimblaDriveUtils.h"
#include "platform/Bundle.h"
#include "platform/ProcessGroup.h"
#include "platform/ScriptingService.h"
#include "platform/SystemVersion.h"
#include "platform/Trust.h"

namespace nimbla::cli {
namespace {

using namespace testsupport;
using Args = std::vector<std::string>;
using nlohmann::json;

const platform::RunAs kAlex{501, 20, {20, 12}, "alex", ""};

// Everything one run printed, and its status.
struct Ran {
    int status = -1;
    std::string out, err;
    json object() const { return json::parse(out); }
};

class CommandLine : public ::testing::Test {
protected:
    TempDir home, resources;
    ScriptedRunner runner;
    std::vector<pid_t> running;           // alex's client's processes
    std::vector<ClientProcess> everyone;  // every user's client processes
    std::vector<std::string> privileged;  // the administrator's command lines
    std::set<std::string> homeless;       // homes that are not their users' own
    Context context{501,
                    501,
                    [this](const std::string& name) -> std::optional<platform::RunAs> {
                        if (name == "_mbsetupuser")
                            return platform::RunAs{248, 248, {248}, name, "/var/setup"};
                        if (name != "alex" && name != "root")
                            return std::nullopt;
                        return name == "alex" ? alex() : platform::RunAs{0, 0, {0}, "root", "/"};
                    },
                    [this](uid_t uid) { return uid == 501 ? std::optional(alex()) : std::nullopt; },
                    [this] { return std::optional(alex()); },
                    [this](const std::string& h, uid_t) { return !homeless.contains(h); },
                    [this] { return accounts; }};
    std::vector<platform::RunAs> accounts;  // the user database, for --all-users
    bool processListFails = false;
    platform::Seam<RunningApplications(uid_t)>::Override apps =
        runningApplicationsSeam().override([this](uid_t) -> RunningApplications {
            if (processListFails)
                return std::nullopt;
            std::vector<platform::RunningApplication> list;
            for (pid_t pid : running) list.push_back({pid, "com.nimbla.desktop"});
            return list;
        });
    platform::Seam<ClientProcesses()>::Override all =
        clientsOfEveryoneSeam().override([this]() -> ClientProcesses {
            if (processListFails)
                return std::nullopt;
            return everyone;
        });
    platform::Seam<RunProcessAsSudoFn>::Override sudo =
        runProcessAsSudoSeam().override([this](const Session&, const std::string& line, auto&) {
            privileged.push_back(line);
            return true;
        });
    platform::Seam<platform::BundleInfo()>::Override bundle =
        platform::mainBundleSeam().override([this] {
            return platform::BundleInfo{resources.str(), "1.0.0"};
        });
    platform::Seam<std::string()>::Override ownHome =
        platform::homeDirectorySeam().override([this] { return home.str(); });

    void SetUp() override {
        fs::create_directories(home.path / "Desktop");
        for (const char* name : {"uninstall_nimbla_drive", "uninstall_nimbla_drive_r"})
            writeExecutable(resources.path / name, "#!/bin/sh\n");
        std::ofstream(resources.path / "nimbla_drive_traces")
            << "remove\t~/Library/Caches/com.nimbla.desktop\n";
    }
    platform::RunAs alex() const {
        platform::RunAs user = kAlex;
        user.home = home.str();
        return user;
    }

    // Runs the command line with standard output and error caught in files.
    Ran cli(const Args& arguments) {
        Ran ran;
        FILE* out = tmpfile();
        FILE* err = tmpfile();
        const int savedOut = dup(1), savedErr = dup(2);
        dup2(fileno(out), 1);
        dup2(fileno(err), 2);
        ran.status = run(arguments, context);
        dup2(savedOut, 1);
        dup2(savedErr, 2);
        close(savedOut);
        close(savedErr);
        for (auto [file, text] : {std::pair{out, &ran.out}, {err, &ran.err}}) {
            rewind(file);
            for (int c; (c = fgetc(file)) != EOF;) text->push_back(char(c));
            fclose(file);
        }
        return ran;
    }
};

// Whose client: another user's only for root; as root the person at the console, whoever owns
// it during enrolment; and only someone with a home folder of their own.
TEST_F(CommandLine, TargetChoiceAndEachRefusal) {
    const auto console = context.consoleUser;
    const struct {
        Args options;
        uid_t uid;
        std::optional<platform::RunAs> atConsole;
        bool homeless;
        std::string refusal;  // empty: accepted
        bool runAsUser;
    } cases[] = {
        {{"--user", "alex"}, 501, alex(), false, "", false},
        {{"--user", "root"}, 501, alex(), false, "NEEDS_ROOT", false},
        {{"--user", "nobody-here"}, 0, alex(), false, "NO_SUCH_USER", false},
        {{}, 0, alex(), false, "", true},
        {{"--user", "root"}, 0, alex(), false, "SERVICE_ACCOUNT", false},
        {{"--user", "_mbsetupuser"}, 0, alex(), false, "SERVICE_ACCOUNT", false},
        {{},
         0,
         platform::RunAs{248, 248, {}, "_mbsetupuser", "/var/setup"},
         false,
         "NO_CONSOLE_USER",
         false},
        {{}, 0, std::nullopt, false, "NO_CONSOLE_USER", false},
        {{"--user", "alex"}, 0, alex(), true, "NO_HOME", false},
    };
    for (const auto& c : cases) {
        context.realUid = context.effectiveUid = c.uid;
        context.consoleUser = [&c] { return c.atConsole; };
        homeless = c.homeless ? std::set{home.str()} : std::set<std::string>{};
        Options options;
        if (c.options.size() == 2)
            options.user = c.options[1];
        const auto chosen = chooseTarget(options, context);
        const std::string what =
            testing::PrintToString(c.options) + " uid " + std::to_string(c.uid);
        if (c.refusal.empty()) {
            ASSERT_TRUE(std::holds_alternative<Target>(chosen)) << what;
            EXPECT_EQ(std::get<Target>(chosen).runAsUser, c.runAsUser) << what;
        } else {
            ASSERT_TRUE(std::holds_alternative<Refusal>(chosen)) << what;
            EXPECT_EQ(std::get<Refusal>(chosen).code, c.refusal) << what;
            EXPECT_EQ(std::get<Refusal>(chosen).exitCode, 4) << what;
        }
    }
    context.consoleUser = console;
}

// With --json every exit prints exactly one object with its status and, where it failed, why;
// the closing line of a failure shows even with --quiet.
TEST_F(CommandLine, EveryExitPrintsOneJsonObject) {
    const std::string fifo = (home.path / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A link to a file, and (as root) a file another user made beforehand to read the log.
    const std::string link = (home.path / "link").string(), others = (home.path / "x.log").string();
    std::ofstream(home.path / "target") << "kept\n";
    fs::create_symlink(home.path / "target", link);
    std::ofstream(others) << "";
    chmod(others.c_str(), 0666);
    [[maybe_unused]] const int chowned = chown(others.c_str(), 501, 20);
    const struct {
        Args arguments;
        int status;
        std::string error;
        std::function<void()> before = [] {};
    } cases[] = {
        {{"repair", "--json"}, 2, "USAGE"},
        {{"status", "--json", "--user", "nobody-here"}, 4, "NO_SUCH_USER"},
        {{"reset", "--json", "--quiet", "--log", "/no/such/folder/log"}, 2, "LOG_REFUSED"},
        {{"reset", "--json", "--quiet", "--log", "/dev/null"}, 2, "LOG_REFUSED"},
        {{"reset", "--json", "--quiet", "--log", fifo}, 2, "LOG_REFUSED"},
        {{"reset", "--json", "--quiet", "--log", link}, 2, "LOG_REFUSED"},
        {{"reset", "--json", "--quiet", "--log", others},
         geteuid() == 0 ? 2 : 0,
         geteuid() == 0 ? "LOG_REFUSED" : ""},
        {{"uninstall", "--json", "--dry-run"}, 3, "CLIENT_RUNNING", [this] { running = {4242}; }},
        {{"reset", "--json", "--quiet"}, 3, "CLIENT_RUNNING", [this] { running = {4242}; }},
        {{"status", "--json"}, 0, ""},
        {{"reset", "--json", "--quiet"}, 0, ""},
        {{"status", "--json"}, 4, "PROCESS_LIST_FAILED", [this] { processListFails = true; }},
        {{"reset", "--json", "--quiet", "--quit-client=1"},
         4,
         "PROCESS_LIST_FAILED",
         [this] { processListFails = true; }},
        {{"reset", "--json", "--quiet"},
         1,
         "",
         [this] {
             runner.answers["Deleting com.nimbla.desktop defaults"] = {false, "", "x"};
         }},
    };
    for (const auto& c : cases) {
        running.clear();
        processListFails = false;
        runner.answers.clear();
        c.before();
        const Ran ran = cli(c.arguments);
        const std::string what = testing::PrintToString(c.arguments);
        EXPECT_EQ(ran.status, c.status) << what << ran.err;
        const json object = ran.object();
        EXPECT_EQ(object["schema"], 1) << what;
        EXPECT_EQ(object["exitCode"], c.status) << what;
        EXPECT_EQ(object["error"].is_null() ? "" : object["error"]["code"], c.error) << what;
        if (std::find(c.arguments.begin(), c.arguments.end(), "--quiet") != c.arguments.end()) {
            EXPECT_EQ(ran.err.empty(), c.status == 0) << what << ran.err;
        }
    }
    EXPECT_EQ(readFile(home.path / "target"), "kept\n");
    // Standard output that cannot take the object fails the run.
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const int savedOut = dup(1);
    dup2(full, 1);
    const int json = run({"status", "--json"}, context);
    const int text = run({"status"}, context);
    dup2(savedOut, 1);
    close(savedOut);
    close(full);
    EXPECT_EQ(json, 1);
    EXPECT_EQ(text, 1);
}

// What a dry run shows is, step by step, what a real run then runs; a folder name that is not
// UTF-8 reaches the JSON with its bad bytes replaced.
TEST_F(CommandLine, TheDryRunsPlanIsWhatRuns) {
    runner.answers["Reading tolu version from defaults"] = {true, "2.40.1\n", ""};
    for (const char* command : {"reset", "uninstall"}) {
        const json plan = cli({command, "--dry-run", "--json"}).object()["plan"];
        runner.calls.clear();
        privileged.clear();
        const fs::path odd = home.path / "Library/CloudStorage/Nimbla-Nimbla (\xff)";
        runner.sideEffect = [&](const std::string& description) {
            if (description == "Removing Nimbla domain")
                fs::create_directories(odd);
        };
        const Ran ran = cli({command, "--json", "--quiet"});
        fs::remove_all(home.path / "Library");
        json ranSteps = json::array();
        for (const auto& call : runner.calls) {
            ranSteps.push_back(
                {call.command.front(), Args(call.command.begin() + 1, call.command.end())});
        }
        for (const auto& line : privileged) ranSteps.push_back({"/bin/sh", Args{"-c", line}});
        json planned = json::array();
        for (const auto& step : plan) planned.push_back({step["program"], step["arguments"]});
        EXPECT_EQ(planned, ranSteps) << command;
        EXPECT_EQ(ran.object()["preservedFiles"],
                  (home.path / "Library/CloudStorage/Nimbla-Nimbla (\xEF\xBF\xBD)").string());
    }
}

// A complete uninstall is exactly exit 0: a listed trace still there afterwards fails it, and so
// does a list that cannot be read, since then nothing can be said.
TEST_F(CommandLine, LeftoversDecideTheUninstallsStatus) {
    runner.answers["Reading tolu version from defaults"] = {true, "2.40.1\n", ""};
    Ran ran = cli({"uninstall", "--json"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.object()["leftovers"], json::array());
    const fs::path cache = home.path / "Library/Caches/com.nimbla.desktop";
    fs::create_directories(cache);
    ran = cli({"uninstall", "--json"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.object()["leftovers"], json::array({cache.string()}));
    EXPECT_NE(ran.err.find("traces of the client are left: 1"), std::string::npos) << ran.err;
    // The client's data the list does not name is reported, never a leftover, never removed.
    fs::remove_all(cache);
    const fs::path webKit = home.path / "Library/WebKit/com.nimbla.desktop";
    fs::create_directories(webKit);
    ran = cli({"uninstall", "--json"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.object()["unlisted"], json::array({webKit.string()}));
    EXPECT_NE(ran.err.find("left in place: " + webKit.string() + "\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(webKit));
    fs::remove(resources.path / "nimbla_drive_traces");
    ran = cli({"uninstall", "--json"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(ran.object()["leftovers"].is_null());
    EXPECT_NE(ran.err.find("could not be looked for"), std::string::npos) << ran.err;
}

// Started with standard descriptors closed, the next file opened (the lock, the --log file) must
// not become descriptor 1 or 2, where the privileged runner's message or the progress would land
// in it.
int openAfterClosingTheStandardDescriptors() {
    close(2);
    close(1);
    close(0);
    openClosedStandardDescriptors();
    const int next = open("/dev/zero", O_RDONLY);
    struct stat null {};
    stat("/dev/null", &null);
    for (int fd : {1, 2}) {
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || st.st_rdev != null.st_rdev)
            return 1;
    }
    return next > 2 ? 0 : 1;
}
TEST(CommandLineDeathTest, ClosedStandardDescriptorsAreFilledWithDevNull) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(openAfterClosingTheStandardDescriptors()), testing::ExitedWithCode(0), "");
}

// A signal (SIGHUP as well as SIGTERM and SIGINT) stops any run: the running command's whole
// process group is passed it and killed after the grace period when it stays (the administrator
// script's too), no later step starts, the run ends only once the group has gone, and the answer
// is INTERRUPTED with 128 + the signal, in the JSON and on --log's End line.
TEST_F(CommandLine, ASignalStopsEveryKindOfRunAndWhatItRuns) {
    const std::string fleetLog = (home.path / "fleet.log").string();
    const struct {
        Args arguments;
        std::string slowStep;  // what runs when the signal comes; "": the wait for the client
        int signal;
        Args ran;  // every step that started
    } cases[] = {
        {{"reset", "--json", "--quiet"},
         "Removing Nimbla domain",
         SIGTERM,
         {"Reading tolu version from defaults", "Removing Nimbla domain"}},
        {{"uninstall", "--json", "--quiet", "--log", fleetLog},
         kSudoStepDescription,
         SIGHUP,
         {"Reading tolu version from defaults", "Removing Nimbla domain",
          "uninstall_nimbla_drive -u -s"}},
        {{"status", "--json"},
         "Reading tolu version from defaults",
         SIGTERM,
         {"Reading tolu version from defaults"}},
        {{"reset", "--quit-client=30", "--json", "--quiet"}, "", SIGINT, {}},
    };
    for (const auto& c : cases) {
        const std::string what = testing::PrintToString(c.arguments);
        Args ran;
        pid_t group = 0;
        std::thread signaller;
        const auto signalSoon = [&] {
            signaller = std::thread([&c] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                kill(getpid(), c.signal);
            });
        };
        // The slow command leads a group as every command does; one member outlives the leader.
        const auto watched = [&](const platform::ChildWatch* inner) -> platform::ChildWatch {
            return [&group, inner](pid_t pid) {
                group = pid != 0 ? pid : group;
                if (inner != nullptr && *inner)
                    (*inner)(pid);
            };
        };
        auto steps = runProcessSeam().override(
            [&](const Session& session, auto&, auto, const std::string& description) {
                ran.push_back(description);
                if (description != c.slowStep)
                    return ProcessResult{true, "", ""};
                signalSoon();
                Session slow = session;
                slow.childWatch = watched(&session.childWatch);
                return runProcess(slow, "/bin/sh", {"-c", "sleep 20 & sleep 20"}, description);
            });
        auto administrator = runProcessAsSudoSeam().override(runProcessAsSudo);
        auto trusted = platform::programTrustSeam().override([](auto&) { return std::string(); });
        auto stubborn = platform::scriptingServiceSeam().override(
            [&](const std::string&, const platform::ChildWatch* watch) {
                signalSoon();
                const platform::ChildWatch mine = watched(watch);
                runChild("/bin/sh", {"-c", "trap '' HUP TERM INT; sleep 20 & sleep 20"},
                         platform::ChildInput::Null, nullptr,
                         platform::ChildEnvironment::SystemPath, &mine);
                return platform::ScriptOutcome{"", {}};
            });
        pid_t client = 0;
        if (c.slowStep.empty()) {
            client = fork();
            if (client == 0) {
                signal(SIGTERM, SIG_IGN);
                pause();
                _exit(0);
            }
            running = {client};
            signalSoon();
        }
        const auto start = std::chrono::steady_clock::now();
        const Ran interrupted = cli(c.arguments);
        signaller.join();
        if (client > 0) {
            kill(client, SIGKILL);
            waitpid(client, nullptr, 0);
            running.clear();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << what;
        EXPECT_EQ(interrupted.status, 128 + c.signal) << what;
        EXPECT_EQ(interrupted.object()["outcome"], "INTERRUPTED") << what;
        EXPECT_EQ(interrupted.object()["error"]["code"], "INTERRUPTED") << what;
        EXPECT_EQ(ran, c.ran) << what;
        EXPECT_FALSE(group > 0 && platform::stillHasMembers({group, 0})) << what;
    }
    EXPECT_NE(readFile(fleetLog).find("End: outcome INTERRUPTED, exit status 129, leftovers -\n"),
              std::string::npos);
}

// --quiet leaves only the answer on standard output: status's report, the dry run's plan, the
// JSON; the privileged runner's message (its paths joined by "\r") shows one path a line, on
// standard output, or standard error with --json, and not at all with --quiet.
TEST_F(CommandLine, QuietLeavesOnlyTheAnswer) {
    runner.answers["Reading tolu version from defaults"] = {true, "2.40.1\n", ""};
    auto real = runProcessAsSudoSeam().override(runProcessAsSudo);
    auto trusted = platform::programTrustSeam().override([](auto&) { return std::string(); });
    auto script = platform::scriptingServiceSeam().override(
        [](const std::string&, const platform::ChildWatch*) {
            return platform::ScriptOutcome{"/Applications/Nimbla.app\r/Library/x", std::nullopt};
        });
    const std::string message =
        "sudo script completed successfully!\n/Applications/Nimbla.app\n"
        "/Library/x\n";
    Ran ran = cli({"uninstall", "--quiet"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out + ran.err, "");
    ran = cli({"uninstall"});
    EXPECT_EQ(ran.out, message);
    ran = cli({"uninstall", "--json"});
    EXPECT_EQ(ran.object()["exitCode"], 0);
    EXPECT_NE(ran.err.find(message), std::string::npos) << ran.err;
    ran = cli({"status", "--quiet"});
    EXPECT_NE(ran.out.find("2.40.1"), std::string::npos) << ran.out;
    ran = cli({"reset", "--dry-run", "--quiet"});
    EXPECT_NE(ran.out.find("Removing Nimbla domain"), std::string::npos) << ran.out;
    EXPECT_EQ(ran.err, "");
    ran = cli({"status", "--json", "--quiet"});
    EXPECT_EQ(ran.object()["client"]["version"], "2.40.1");
    EXPECT_EQ(ran.err, "");
}

// A reset with a step the run takes as done, one a signal ends, and a client to reopen: the JSON,
// the --log lines and the Desktop log each say how every step ended, and the client the run quit
// is reopened although the reset failed.
TEST_F(CommandLine, EachStepSaysHowItEndedAndTheClientIsReopenedAfterAFailure) {
    const std::map<std::string, std::string> scripts = {
        {"Reading tolu version from defaults", "echo 2.40.1"},
        {"Removing Nimbla domain",
         "echo 'No existing domain was found with display name: Nimbla'; exit 1"},
        {"Deleting com.nimbla.desktop defaults", "kill -TERM $$"},
        {"Removing Application Support Nimbla folder", "true"},
    };
    std::vector<std::string> reopened;
    auto steps = runProcessSeam().override(
        [&](const Session& session, const std::string& url, auto, const std::string& description) {
            if (!scripts.contains(description)) {
                reopened.push_back(url);
                return ProcessResult{true, "", ""};
            }
            return runProcess(session, "/bin/sh", {"-c", scripts.at(description)}, description);
        });
    const pid_t client = fork();
    if (client == 0) {
        pause();
        _exit(0);
    }
    std::atomic<bool> gone = false;
    std::thread reaper([&] {
        waitpid(client, nullptr, 0);
        gone = true;
    });
    auto clientRuns = runningApplicationsSeam().override([&](uid_t) {
        return gone ? std::vector<platform::RunningApplication>{}
                    : std::vector<platform::RunningApplication>{{client, "com.nimbla.desktop"}};
    });
    const std::string log = (home.path / "fleet.log").string();
    const Ran ran =
        cli({"reset", "--json", "--quiet", "--log", log, "--quit-client", "1", "--relaunch"});
    reaper.join();
    EXPECT_EQ(ran.status, 1);
    const json object = ran.object();
    EXPECT_EQ(object["outcome"], "RESET_FAILED");
    EXPECT_EQ(object["failedStep"], "Deleting com.nimbla.desktop defaults");
    EXPECT_TRUE(object["complete"].is_null());
    const json& removal = object["steps"][1];
    EXPECT_EQ(removal["succeeded"], true);
    EXPECT_EQ(removal["countedAsDone"], true);
    EXPECT_EQ(removal["status"], 1);
    const json& killed = object["steps"][2];
    EXPECT_EQ(killed["succeeded"], false);
    EXPECT_EQ(killed["signal"], SIGTERM);
    EXPECT_TRUE(killed["status"].is_null());
    EXPECT_EQ(object["clientQuits"][0]["how"], "signal");
    EXPECT_EQ(object["relaunched"], true);
    EXPECT_EQ(reopened, Args{"/usr/bin/open"});

    const std::string lines = readFile(log);
    for (const std::string& wanted :
         {std::string(" reset --json --quiet --log ") + log +
              " --quit-client=1 --relaunch for alex",
          std::string("Step \"Removing Nimbla domain\": /bin/sh -c 'echo '\\''No existing domain"),
          std::string("Step \"Deleting com.nimbla.desktop defaults\": /bin/sh -c 'kill -TERM $$', "
                      "as alex: signal 15 (Terminated), "),
          std::string("Reopened Nimbla Drive\n")}) {
        EXPECT_NE(lines.find(wanted), std::string::npos) << wanted << "\n" << lines;
    }
    EXPECT_NE(lines.find(", as alex: exit 1, "), std::string::npos) << lines;
    EXPECT_NE(lines.find(" ms, counted as done\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(" ms, not done\n"), std::string::npos) << lines;
    // The Desktop log is the window's ("… done." after a command without error output); the
    // --log copy never calls the killed step done.
    EXPECT_NE(readFile(object["log"].get<std::string>())
                  .find("Deleting com.nimbla.desktop defaults done.\n"),
              std::string::npos);
    EXPECT_EQ(lines.find("Deleting com.nimbla.desktop defaults done."), std::string::npos) << lines;
}

}  // namespace
}  // namespace nimbla::cli

namespace nimbla::cli {
namespace {

// A machine with two people (alex and sam), the setup assistant's account and an account without
// a home of its own, run as root with nobody at the console.
class EveryAccount : public CommandLine {
protected:
    TempDir samHome;
    std::vector<std::string> ranAs;  // "<user>: <description>" of each command
    platform::Seam<RunProcessFn>::Override byWhom = runProcessSeam().override(
        [this](const Session& session, auto&, auto, const std::string& description) {
            ranAs.push_back(session.userName + ": " + description);
            return ProcessResult{true, description.starts_with("Reading") ? "2.40.1\n" : "", ""};
        });

    void SetUp() override {
        CommandLine::SetUp();
        context.realUid = context.effectiveUid = 0;
        context.consoleUser = [] { return std::optional<platform::RunAs>(); };
        accounts = {platform::RunAs{502, 20, {20}, "sam", samHome.str()}, alex(),
                    platform::RunAs{248, 248, {248}, "_mbsetupuser", "/var/setup"},
                    platform::RunAs{503, 20, {20}, "gone", "/Users/gone"}};
        homeless = {"/Users/gone"};
        fs::create_directories(samHome.path / "Desktop");
    }
    void leaveTrace(const TempDir& where) {
        fs::create_directories(where.path / "Library/Caches/com.nimbla.desktop");
    }
};

// At the login window status reports the machine, and --all-users each person's traces.
TEST_F(EveryAccount, StatusAtTheLoginWindowReportsTheMachine) {
    everyone = {{4242, 502, "sam"}};
    leaveTrace(samHome);
    json object = cli({"status", "--json"}).object();
    EXPECT_EQ(object["exitCode"], 0);
    EXPECT_TRUE(object["user"].is_null() && object["home"].is_null() && object["error"].is_null());
    EXPECT_EQ(object["client"]["version"], "2.40.1");
    EXPECT_EQ(object["runningClients"], json::parse(R"([{"user":"sam","uid":502,"pid":4242}])"));
    EXPECT_TRUE(object["accounts"].is_null());
    object = cli({"status", "--all-users", "--json"}).object();
    ASSERT_EQ(object["accounts"].size(), 2U) << object;
    EXPECT_EQ(object["accounts"][0]["user"], "alex");
    EXPECT_EQ(object["accounts"][0]["traces"], json::array());
    EXPECT_EQ(object["accounts"][1]["traces"][0]["path"],
              (samHome.path / "Library/Caches/com.nimbla.desktop").string());
    // Not at the login window, and not for anyone but root.
    EXPECT_EQ(cli({"uninstall", "--json"}).object()["error"]["code"], "NO_CONSOLE_USER");
    context.effectiveUid = 501;
    EXPECT_EQ(cli({"uninstall", "--all-users", "--json"}).object()["error"]["code"], "NEEDS_ROOT");
}

// Every account's steps as that account, then the administrator script once; any account's
// client refuses the whole run before anything changes, dry or real.
TEST_F(EveryAccount, UninstallForEveryAccount) {
    everyone = {{4242, 502, "sam"}};
    for (const Args& arguments : {Args{"uninstall", "--all-users", "--json", "--dry-run"},
                                  Args{"uninstall", "--all-users", "--json"}}) {
        const Ran refused = cli(arguments);
        EXPECT_EQ(refused.status, 3) << refused.err;
        EXPECT_EQ(refused.object()["error"]["code"], "CLIENT_RUNNING");
    }
    EXPECT_TRUE(std::all_of(ranAs.begin(), ranAs.end(),
                            [](auto& line) { return line.ends_with("version from defaults"); }) &&
                privileged.empty());
    ranAs.clear();
    everyone.clear();
    Ran ran = cli({"uninstall", "--all-users", "--json"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ranAs,
              (Args{"alex: Reading tolu version from defaults", "alex: Removing Nimbla domain",
                    "alex: uninstall_nimbla_drive -u -s", "sam: Reading tolu version from defaults",
                    "sam: Removing Nimbla domain", "sam: uninstall_nimbla_drive -u -s"}));
    EXPECT_EQ(privileged.size(), 1U);
    json object = ran.object();
    ASSERT_EQ(object["accounts"].size(), 2U);
    EXPECT_EQ(object["accounts"][1]["outcome"], "UNINSTALL_SUCCESS");
    EXPECT_EQ(object["leftovers"], json::array());
    // One account's leftover fails the whole run, and is in the top-level list.
    runner.answers.clear();
    ranAs.clear();
    auto leaves = runProcessSeam().override([this](const Session& session, auto&, auto, auto&) {
        if (session.userName == "sam")
            leaveTrace(samHome);
        return ProcessResult{true, "", ""};
    });
    ran = cli({"uninstall", "--all-users", "--json"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.object()["leftovers"],
              json::array({(samHome.path / "Library/Caches/com.nimbla.desktop").string()}));
}

// After an uninstall for one account the others' traces are named (another's running client
// and the dry run alike: e2e two_users); a dry run exits as the real run would.
TEST_F(EveryAccount, OneAccountOnASharedMac) {
    leaveTrace(samHome);
    const Ran ran = cli({"uninstall", "--user", "alex", "--json"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.object()["otherAccountsWithTraces"], json::array({"sam"}));
    EXPECT_NE(ran.err.find("left for alex; sam still has traces: uninstall --all-users"),
              std::string::npos)
        << ran.err;
    fs::remove(resources.path / "uninstall_nimbla_drive_r");
    const Ran dry = cli({"uninstall", "--user", "alex", "--dry-run", "--json"});
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(dry.object()["error"]["code"], "SCRIPT_MISSING");
}

}  // namespace
}  // namespace nimbla::cli
