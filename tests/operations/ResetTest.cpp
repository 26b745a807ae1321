#include <gtest/gtest.h>

#include <atomic>

#include "operations/Reset.h"
#include "operations/WorkflowTestSupport.h"
#include "platform/SystemVersion.h"
#include "platform/Workspace.h"

namespace nimbla {
namespace {

using namespace testsupport;

const std::string kVersionRead = "Reading tolu version from defaults";
const std::string kRemoval = "Removing Nimbla domain";
const std::string kPreferences = "Deleting com.nimbla.desktop defaults";
const std::string kSupportFolder = "Removing Application Support Nimbla folder";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class Reset : public ::testing::Test {
protected:
    std::atomic<bool> clientRunning{false};
    std::atomic<int> runningChecks{0};
    platform::Seam<std::vector<platform::RunningApplication>()>::Override workspace =
        platform::workspaceSeam().override([this] {
            ++runningChecks;
            std::vector<platform::RunningApplication> apps = {{100, std::nullopt},
                                                              {101, "com.example.editor"}};
            if (clientRunning) {
                apps.push_back({102, "com.nimbla.desktop"});
            }
            return apps;
        });
    platform::Seam<platform::OperatingSystemVersion()>::Override os =
        platform::operatingSystemVersionSeam().override([] {
            return platform::OperatingSystemVersion{13, 4, 0};
        });
    OutcomeRecorder outcomes;
    LogCapture logged;

    void TearDown() override { settle(); }
};

TEST_F(Reset, RefusesWhileTheClientRuns) {
    ScriptedRunner runner;
    clientRunning = true;
    resetNimbla();
    // Nothing is posted before the main queue runs.
    platform::waitForBackgroundIdle();
    EXPECT_TRUE(outcomes.names().empty());
    settle();

    EXPECT_EQ(logged.appended(), "Please quit Nimbla Drive before attempting to reset\n");
    EXPECT_EQ(outcomes.names(), std::vector<std::string>{"NIMBLA_DRIVE_RUNNING"});
    EXPECT_TRUE(runner.calls().empty());
}

TEST_F(Reset, PreUninstallResetSkipsTheCheckAndPostsNothing) {
    ScriptedRunner runner;
    clientRunning = true;
    resetNimbla(true);
    settle();

    EXPECT_EQ(runningChecks, 0);
    EXPECT_EQ(runner.calls().size(), 4u);
    EXPECT_TRUE(logged.appended().ends_with("Reset Succeeded\n"));
    EXPECT_TRUE(outcomes.names().empty());
}

TEST_F(Reset, WholeLogOfASuccessfulRunByteForByte) {
    ScriptedRunner runner;
    runner.answer(kVersionRead, {true, "2.40.1\n", ""});
    runner.answer(kRemoval, {true, "Removed domain Nimbla\n", ""});
    runner.answer(kPreferences, {false, "", "Domain (com.nimbla.desktop) not found.\n"});
    resetNimbla();
    settle();

    EXPECT_EQ(logged.appended(),
              "Starting Nimbla Drive reset\n"
              "Reading tolu version from defaults output: 2.40.1\n\n"
              "Reading tolu version from defaults done.\n"
              "Removing Nimbla domain output: Removed domain Nimbla\n\n"
              "Removing Nimbla domain done.\n"
              "Deleting com.nimbla.desktop defaults output: \n"
              "Deleting com.nimbla.desktop defaults Error output: Domain (com.nimbla.desktop) not "
              "found.\n\n"
              "Removing Application Support Nimbla folder output: \n"
              "Removing Application Support Nimbla folder done.\n"
              "Reset Succeeded\n");

    auto calls = runner.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].url, "/Applications/Nimbla.app/Contents/MacOS/fpe/rivlet");
    EXPECT_EQ(
        calls[1].arguments,
        (std::vector<std::string>{"--remove-fpe-domain-and-preserve-unsynced-content", "Nimbla"}));
    EXPECT_EQ(calls[2].url, "/usr/bin/defaults");
    EXPECT_EQ(calls[2].arguments, (std::vector<std::string>{"delete", "com.nimbla.desktop"}));
    EXPECT_EQ(calls[3].url, "/bin/bash");
    EXPECT_EQ(
        calls[3].arguments,
        (std::vector<std::string>{"-c", "rm -rf ~/Library/Application\\ Support/Nimbla/Nimbla"}));

    // One outcome, on the main queue (this thread), after the final line reached the file.
    auto arrivals = outcomes.arrivals();
    ASSERT_EQ(arrivals.size(), 1u);
    EXPECT_EQ(arrivals[0].name, "RESET_SUCCESS");
    EXPECT_EQ(arrivals[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(arrivals[0].logAtPost.ends_with("Reset Succeeded\n"));
}

TEST_F(Reset, EachStageFailingAloneStillRunsTheLaterStages) {
    const std::vector<std::pair<std::string, ProcessResult>> failures = {
        {kRemoval, {false, "", "fileproviderctl: permission denied\n"}},
        // The absent-domain text of stage 2 counts only in the error stream.
        {kPreferences, {false, "Domain (com.nimbla.desktop) not found.\n", "locked\n"}},
        // Stage 3 is judged by its success flag alone.
        {kSupportFolder, {false, "", ""}},
    };
    for (const auto& [stage, result] : failures) {
        ScriptedRunner runner;
        runner.answer(stage, result);
        OutcomeRecorder mine;
        LogCapture log;
        resetNimbla();
        settle();

        EXPECT_EQ(runner.descriptions(),
                  (std::vector<std::string>{kVersionRead, kRemoval, kPreferences, kSupportFolder}))
            << stage;
        EXPECT_TRUE(log.appended().ends_with("Reset Failed\n")) << stage;
        EXPECT_EQ(mine.names(), std::vector<std::string>{"RESET_FAILED"}) << stage;
    }
}

TEST_F(Reset, AbsentTargetsCountAsSuccess) {
    ScriptedRunner runner;
    runner.answer(kVersionRead, {false, "",
                                 "Domain /Applications/Nimbla.app/Contents/Info.plist "
                                 "does not exist\n"});
    runner.answer(kRemoval,
                  {false, "", "File provider com.nimbla.desktop.nimblafileprovider not found\n"});
    runner.answer(kPreferences, {false, "", "Domain (com.nimbla.desktop) not found.\n"});
    resetNimbla();
    settle();

    EXPECT_EQ(runner.calls()[1].url, "/bin/bash");
    EXPECT_TRUE(logged.appended().ends_with("Reset Succeeded\n"));
    EXPECT_EQ(outcomes.names(), std::vector<std::string>{"RESET_SUCCESS"});
}

TEST_F(Reset, BackToBackRunsEachPostTheirOwnOutcome) {
    ScriptedRunner runner;
    resetNimbla();
    resetNimbla();
    settle();

    EXPECT_EQ(runner.calls().size(), 8u);
    EXPECT_EQ(outcomes.names(), (std::vector<std::string>{"RESET_SUCCESS", "RESET_SUCCESS"}));
    auto lines = linesOf(logged.appended());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Starting Nimbla Drive reset"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Reset Succeeded"), 2);
}

// The real runner starting stand-ins for the system's programs: each absolute path the reset uses
// is mapped to a shell script in a temporary folder that answers as the real program would.
TEST_F(Reset, AgainstStandInPrograms) {
    TempDir tools;
    TempDir home;
    const fs::path support = home.path() / "Library/Application Support/Nimbla";
    fs::create_directories(support / "Nimbla/cache");
    std::ofstream(support / "Nimbla/cache/state.db") << "x";
    std::ofstream(support / "keep.txt") << "x";

    writeExecutable(tools.path() / "defaults",
                    "#!/bin/sh\n"
                    "case \"$1\" in\n"
                    "  read) echo 2.36.73 ;;\n"
                    "  delete) echo 'Domain (com.nimbla.desktop) not found.' >&2; exit 1 ;;\n"
                    "esac\n");
    writeExecutable(tools.path() / "rivlet",
                    "#!/bin/sh\n"
                    "echo \"$1 $2\" > \"$(dirname \"$0\")/rivlet.args\"\n"
                    "echo 'No existing domain was found with display name: Nimbla'\n"
                    "exit 1\n");
    // The real shell, with the home folder pointed at the temporary one.
    writeExecutable(tools.path() / "bash",
                    "#!/bin/sh\nHOME='" + home.str() + "' exec /bin/bash \"$@\"\n");

    const std::map<std::string, std::string> standIns = {
        {"/usr/bin/defaults", (tools.path() / "defaults").string()},
        {"/Applications/Nimbla.app/Contents/MacOS/fpe/rivlet", (tools.path() / "rivlet").string()},
        {"/bin/bash", (tools.path() / "bash").string()},
    };
    auto runner = runProcessSeam().override([&standIns](const std::string& url,
                                                        const std::vector<std::string>& arguments,
                                                        const std::string& description) {
        return runProcessSeam().real()(standIns.at(url), arguments, description);
    });
    resetNimbla();
    settle();

    EXPECT_EQ(logged.appended(),
              "Starting Nimbla Drive reset\n"
              "Reading tolu version from defaults output: 2.36.73\n\n"
              "Reading tolu version from defaults done.\n"
              "Removing Nimbla domain output: No existing domain was found with display name: "
              "Nimbla\n\n"
              "Removing Nimbla domain done.\n"
              "Deleting com.nimbla.desktop defaults output: \n"
              "Deleting com.nimbla.desktop defaults Error output: Domain (com.nimbla.desktop) not "
              "found.\n\n"
              "Removing Application Support Nimbla folder output: \n"
              "Removing Application Support Nimbla folder done.\n"
              "Reset Succeeded\n");
    EXPECT_EQ(readFile(tools.path() / "rivlet.args"),
              "--remove-fpe-domain-and-archive-unsynced-content Nimbla\n");
    EXPECT_FALSE(fs::exists(support / "Nimbla"));
    EXPECT_TRUE(fs::exists(support / "keep.txt"));
    EXPECT_EQ(outcomes.names(), std::vector<std::string>{"RESET_SUCCESS"});
}

}  // namespace
}  // namespace nimbla
