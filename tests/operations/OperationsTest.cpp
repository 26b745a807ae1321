#include "helpers/TestSupport.h"
#include "operations/NimblaDriveUtils.h"
#include "operations/Reset.h"
#include "operations/Uninstall.h"
#include "platform/Bundle.h"
#include "platform/SystemVersion.h"
#include "platform/Workspace.h"

namespace nimbla {
namespace {

using namespace testsupport;
using namespace platform;
using Strings = std::vector<std::string>;
const std::string kVersionRead = "Reading tolu version from defaults";
const std::string kRemoval = "Removing Nimbla domain";
const std::string kPreferences = "Deleting com.nimbla.desktop defaults";
const std::string kSupportFolder = "Removing Application Support Nimbla folder";
const std::string kUserScript = "uninstall_nimbla_drive -u -s";
const std::string kNotFound = "Domain (com.nimbla.desktop) not found.\n";

const std::string kClientTool = "/Applications/Nimbla.app/Contents/MacOS/fpe/rivlet";
const std::string kArchive = "--remove-fpe-domain-and-archive-unsynced-content";
const std::string kPreserve = "--remove-fpe-domain-and-preserve-unsynced-content";
const Command kShell = {
    "/bin/bash", {"-c", "fileproviderctl domain remove -A com.nimbla.desktop.nimblafileprovider"}};
Command clientTool(const std::string& flag) {
    return {kClientTool, {flag, "Nimbla"}};
}

// The client's version (as `defaults` prints it) and the system's choose the command; versions
// compare number by number, and text without a leading number is older than 2.36.74.
TEST(DomainRemovalChoice, FollowsTheVersionsOfTheSystemAndTheClient) {
    const std::vector<std::tuple<OperatingSystemVersion, ProcessResult, Command>> cases = {
        {{14, 2, 1}, {false, "", "does not exist"}, kShell},
        {{14, 2, 1}, {false, "2.40.0\n", ""}, kShell},
        {{11, 99, 99}, {true, "2.40.0\n", ""}, kShell},
        {{11, 7, 10}, {true, "2.0.0\n", ""}, kShell},
        {{12, 0, 0}, {true, "2.36.74\n", ""}, clientTool(kPreserve)},
    };
    for (const auto& [os, version, expected] : cases) {
        int probes = 0;  // the system is asked only when the client's version was read
        auto system = operatingSystemVersionSeam().override([&probes, os = os] {
            ++probes;
            return os;
        });
        EXPECT_EQ(getDomainRemovalAndArchiveArguments(version), expected)
            << version.output << os.major;
        EXPECT_EQ(probes, version.succeeded ? 1 : 0);
    }
    auto system = operatingSystemVersionSeam().override([] {
        return OperatingSystemVersion{13, 0, 0};
    });
    const std::pair<std::string, Strings> versions[] = {
        {kArchive,
         {"2.36.73\n", "2.36.8\n", "2.4.0\n", "2.036.0\n", "2.36\n", "", "\n", "garbage\n",
          "v2.40.0\n", " 2.40.0\n"}},
        {kPreserve,
         {"2.36.74\n", "2.36.74", "2.36.74\r\n", "2.36.75\n", "2.37.0\n", "2.36.100\n", "2.100.0\n",
          "10.0.0\n", "3\n", "02.036.074\n", "2.36.74.1\n", "2.36.74 (build 9)\n",
          "99999999999999999999999.0\n", "2.99999999999999999999999\n"}}};
    for (const auto& [flag, list] : versions) {
        for (const std::string& version : list) {
            EXPECT_EQ(getDomainRemovalAndArchiveArguments({true, version, ""}), clientTool(flag))
                << version;
        }
    }
}

// The removal succeeds, or fails only because the domain is absent: each absent-domain text
// counts in its own stream only, with its exact letter case.
TEST(DomainRemovalJudgement, AbsentDomainCountsOnlyInItsOwnStream) {
    const std::string noDomain = "No existing domain was found with display name: Nimbla";
    const std::string noProvider = "File provider com.nimbla.desktop.nimblafileprovider not found";
    const std::vector<std::pair<ProcessResult, bool>> cases = {
        {{true, "whatever", "it printed"}, true},
        {{false, noDomain + "\n", ""}, true},
        {{false, "", noProvider + "\n"}, true},
        {{false, "line before\n" + noDomain + "\nline after\n", "other"}, true},
        {{false, "", "Error: " + noProvider + " (code 3)"}, true},
        {{false, "", noDomain}, false},
        {{false, noProvider, ""}, false},
        {{false, "no existing domain was found with display name: nimbla", ""}, false},
        {{false, "", "something else went wrong"}, false}};
    for (const auto& [result, expected] : cases) {
        ScriptedRunner runner{.answers = {{"Removing Nimbla domain", result}}};
        EXPECT_EQ(runStep(windowLike(), removeDomainAndArchiveUnsyncedFiles(clientTool(kPreserve))),
                  expected)
            << result.output << result.errorOutput;
        EXPECT_EQ(runner.calls[0].command, (Strings{kClientTool, kPreserve, "Nimbla"}));
    }
    ScriptedRunner runner;  // no program: runs nothing
    EXPECT_FALSE(runStep(windowLike(), removeDomainAndArchiveUnsyncedFiles({"", {"-c", "true"}})));
    EXPECT_TRUE(runner.calls.empty());
}

TEST(NimblaDriveUtils, MatchesTheWholeIdentifierExactly) {
    const std::vector<std::pair<std::vector<RunningApplication>, bool>> cases = {
        {{{1, std::nullopt},
          {2, "com.nimbla.desktop.nimblafileprovider"},
          {3, "com.Nimbla.Desktop"},
          {4, "com.nimbla.desktop "},
          {5, "xcom.nimbla.desktop"},
          {6, ""}},
         false},
        {{{1, std::nullopt}, {2, "com.nimbla.desktop"}}, true}};
    for (const auto& [applications, running] : cases) {
        uid_t asked = 0;
        auto workspace = runningApplicationsSeam().override([&](uid_t uid) {
            asked = uid;
            return applications;
        });
        Session session;
        session.clientOwner = 501;
        EXPECT_EQ(isNimblaDriveRunning(session), running) << applications.size();
        EXPECT_EQ(asked, 501u);
    }
}

// Both workflows with every outside party replaced: the running applications, the system's
// version, the bundle's resources, both command runners; the log and the outcomes recorded.
class Workflow : public ::testing::Test {
protected:
    bool clientRunning = false;
    int runningChecks = 0;
    bool privilegedSucceeds = true;
    Strings privileged;
    std::size_t callsBeforePrivileged = 0;
    TempDir resources;
    ScriptedRunner runner;
    OutcomeRecorder outcomes;
    bool processListFails = false;
    Seam<RunningApplications(uid_t)>::Override workspace =
        runningApplicationsSeam().override([this](uid_t) -> RunningApplications {
            ++runningChecks;
            if (processListFails)
                return std::nullopt;
            return std::vector<RunningApplication>{
                {101, clientRunning ? "com.nimbla.desktop" : "x"}};
        });
    Seam<OperatingSystemVersion()>::Override system = operatingSystemVersionSeam().override([] {
        return OperatingSystemVersion{13, 4, 0};
    });
    Seam<BundleInfo()>::Override bundle = mainBundleSeam().override([this] {
        return BundleInfo{resources.str(), "1.0.0"};
    });
    Seam<RunProcessAsSudoFn>::Override sudo =
        runProcessAsSudoSeam().override([this](const Session&, const std::string& command, auto&) {
            privileged.push_back(command);  // in the background, one run at a time
            callsBeforePrivileged = runner.calls.size();
            return privilegedSucceeds;
        });

    void ship(int scripts) {
        for (const char* name : {"uninstall_nimbla_drive", "uninstall_nimbla_drive_r"}) {
            fs::remove(resources.path / name);
            if (scripts-- > 0)
                writeExecutable(resources.path / name, "#!/bin/sh\n");
        }
    }
    void TearDown() override { settle(); }
};

// Each stage failing alone still runs the later ones and fails the reset; absent targets count
// as success. Stage 3's absent-domain text counts only on stderr; stage 4 only by its status.
TEST_F(Workflow, ResetOutcomeFollowsEachStage) {
    const std::vector<std::pair<std::map<std::string, ProcessResult>, bool>> cases = {
        {{{kRemoval, {false, "", "fileproviderctl: permission denied\n"}}}, false},
        {{{kPreferences, {false, kNotFound, "locked\n"}}}, false},
        {{{kSupportFolder, {false, "", ""}}}, false},
        {{{kVersionRead, {false, "", "Domain Info.plist does not exist\n"}},
          {kRemoval, {false, "", "File provider com.nimbla.desktop.nimblafileprovider not found"}},
          {kPreferences, {false, "", kNotFound}}},
         true}};
    for (const auto& [answers, succeeds] : cases) {
        ScriptedRunner scripted{.answers = answers};
        OutcomeRecorder recorded;
        resetNimbla();
        settle();
        EXPECT_EQ(scripted.calls.size(), 4u);
        EXPECT_TRUE(scripted.logged.appended().ends_with(succeeds ? "Reset Succeeded\n"
                                                                  : "Reset Failed\n"));
        EXPECT_EQ(recorded.names, Strings{succeeds ? "RESET_SUCCESS" : "RESET_FAILED"});
    }
}

TEST_F(Workflow, BackToBackResetsPostOneOutcomeEachAndThePreUninstallOneNone) {
    resetNimbla();
    resetNimbla();
    settle();
    clientRunning = true;
    runner.answers[kSupportFolder] = {false, "", ""};
    const LogCapture preUninstall;
    resetNimbla(true);
    settle();
    EXPECT_EQ(preUninstall.appended(), "Starting Nimbla Drive reset\nReset Failed\n");
    EXPECT_EQ(runner.calls.size(), 12u);
    EXPECT_EQ(runningChecks, 2);
    EXPECT_EQ(outcomes.names, (Strings{"RESET_SUCCESS", "RESET_SUCCESS"}));
}

// A process list that cannot be read is no "not running": both workflows fail before any step.
TEST_F(Workflow, AnUnreadableProcessListFailsBothWorkflowsBeforeAnyStep) {
    processListFails = true;
    const LogCapture logged;
    resetNimbla();
    uninstallNimbla();
    settle();
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_TRUE(privileged.empty());
    EXPECT_EQ(outcomes.names, (Strings{"RESET_FAILED", "UNINSTALL_FAILED"}));
    const std::string line = std::string(kProcessListFailure) + "\n";
    EXPECT_EQ(logged.appended(), line + line);
}

TEST_F(Workflow, UninstallRemovesTheDomainHereThenRunsBothScriptsInTheBackground) {
    ship(2);
    runner.answers[kVersionRead] = {true, "2.36.74\n", ""};
    uninstallNimbla();
    settle();
    EXPECT_EQ(runner.logged.appended(),
              "Starting pre-uninstall domain removal\nStarting uninstall\n");
    ASSERT_EQ(runner.calls.size(), 3u);    // the domain removed here, the script in the background
    EXPECT_EQ(callsBeforePrivileged, 3u);  // the administrator's script after the user's
    EXPECT_TRUE(runner.calls[1].thread == std::this_thread::get_id() &&
                runner.calls[2].thread != std::this_thread::get_id());
    EXPECT_EQ(runner.calls[2].command,
              (Strings{resources.str() + "/uninstall_nimbla_drive", "-u", "-s"}));
    EXPECT_EQ(privileged, Strings{"sudo '" + resources.str() + "/uninstall_nimbla_drive_r'"});
    EXPECT_EQ(outcomes.names, Strings{"UNINSTALL_SUCCESS"});
    EXPECT_EQ(outcomes.arrivals[0].first, std::this_thread::get_id());
}

// Any failing step fails the uninstall, and the steps after it still run; a missing script is
// skipped and fails it too.
TEST_F(Workflow, UninstallFailsWhenAnyStepFails) {
    const struct {
        int scripts;
        std::map<std::string, ProcessResult> answers;
        bool privilegedSucceeds;
        std::size_t calls, privileged;
    } cases[] = {{2, {{kRemoval, {false, "", "busy\n"}}}, true, 3, 1},
                 {2, {{kUserScript, {false, "", "cannot remove\n"}}}, true, 3, 1},
                 {2, {}, false, 3, 1},
                 {1, {}, true, 3, 0},
                 {0, {}, true, 2, 0}};
    for (const auto& c : cases) {
        ship(c.scripts);
        ScriptedRunner scripted{.answers = c.answers};
        OutcomeRecorder recorded;
        privileged.clear();
        privilegedSucceeds = c.privilegedSucceeds;
        uninstallNimbla();
        settle();
        EXPECT_EQ(std::pair(scripted.calls.size(), privileged.size()),
                  std::pair(c.calls, c.privileged));
        EXPECT_EQ(recorded.names, Strings{"UNINSTALL_FAILED"});
    }
}

}  // namespace
}  // namespace nimbla
