#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>

#include "operations/Uninstall.h"
#include "operations/WorkflowTestSupport.h"
#include "platform/Bundle.h"
#include "platform/ScriptingService.h"
#include "platform/SystemVersion.h"
#include "platform/Workspace.h"

namespace nimbla {
namespace {

using namespace testsupport;

const std::string kUserScriptDescription = "uninstall_nimbla_drive -u -s";

class Uninstall : public ::testing::Test {
protected:
    std::atomic<bool> clientRunning{false};
    platform::Seam<std::vector<platform::RunningApplication>()>::Override workspace =
        platform::workspaceSeam().override([this] {
            return clientRunning
                       ? std::vector<platform::RunningApplication>{{7, "com.nimbla.desktop"}}
                       : std::vector<platform::RunningApplication>{};
        });
    platform::Seam<platform::OperatingSystemVersion()>::Override os =
        platform::operatingSystemVersionSeam().override([] {
            return platform::OperatingSystemVersion{14, 0, 0};
        });
    TempDir resources;
    platform::Seam<platform::BundleInfo()>::Override bundle =
        platform::mainBundleSeam().override([this] {
            return platform::BundleInfo{resources.str(), "1.0.0"};
        });

    // The privileged runner, recorded and answered.
    std::mutex mutex;
    std::vector<std::string> privilegedCommands;
    std::atomic<bool> privilegedSucceeds{true};
    platform::Seam<bool(const std::string&)>::Override sudo =
        runProcessAsSudoSeam().override([this](const std::string& command) {
            std::lock_guard lock(mutex);
            privilegedCommands.push_back(command);
            return privilegedSucceeds.load();
        });

    ScriptedRunner runner;
    OutcomeRecorder outcomes;
    LogCapture logged;

    void shipScripts() {
        writeExecutable(resources.path() / "uninstall_nimbla_drive", "#!/bin/sh\n");
        writeExecutable(resources.path() / "uninstall_nimbla_drive_r", "#!/bin/sh\n");
    }
    void TearDown() override { settle(); }
};

TEST_F(Uninstall, RefusesWhileTheClientRuns) {
    shipScripts();
    clientRunning = true;
    uninstallNimbla();
    settle();

    EXPECT_EQ(logged.appended(), "Nimbla Drive is running, cancelling uninstall\n");
    EXPECT_EQ(outcomes.names(), std::vector<std::string>{"NIMBLA_DRIVE_RUNNING"});
    EXPECT_TRUE(runner.calls().empty());
    EXPECT_TRUE(privilegedCommands.empty());
}

TEST_F(Uninstall, RemovesTheDomainHereAndRunsBothScriptsInTheBackground) {
    shipScripts();
    runner.answer("Reading tolu version from defaults", {true, "2.36.74\n", ""});
    uninstallNimbla();
    settle();

    const std::string userScript = (resources.path() / "uninstall_nimbla_drive").string();
    const std::string rootScript = (resources.path() / "uninstall_nimbla_drive_r").string();
    auto calls = runner.calls();
    ASSERT_EQ(calls.size(), 3u);
    // The domain removal runs on the calling thread, the script in the background.
    EXPECT_EQ(calls[1].description, "Removing Nimbla domain");
    EXPECT_EQ(calls[1].thread, std::this_thread::get_id());
    EXPECT_NE(calls[2].thread, std::this_thread::get_id());
    EXPECT_EQ(calls[2].url, userScript);
    EXPECT_EQ(calls[2].arguments, (std::vector<std::string>{"-u", "-s"}));
    EXPECT_EQ(calls[2].description, kUserScriptDescription);
    EXPECT_EQ(privilegedCommands, std::vector<std::string>{"sudo '" + rootScript + "'"});

    EXPECT_EQ(logged.appended(),
              "Starting pre-uninstall domain removal\n"
              "Reading tolu version from defaults output: 2.36.74\n\n"
              "Reading tolu version from defaults done.\n"
              "Removing Nimbla domain output: \n"
              "Removing Nimbla domain done.\n"
              "Starting uninstall\n"
              "uninstall_nimbla_drive -u -s output: \n"
              "uninstall_nimbla_drive -u -s done.\n");
    auto arrivals = outcomes.arrivals();
    ASSERT_EQ(arrivals.size(), 1u);
    EXPECT_EQ(arrivals[0].name, "UNINSTALL_SUCCESS");
    EXPECT_EQ(arrivals[0].thread, std::this_thread::get_id());
}

TEST_F(Uninstall, EachFailingStepStillRunsTheRestAndFails) {
    shipScripts();
    // The domain removal fails.
    runner.answer("Removing Nimbla domain", {false, "", "busy\n"});
    uninstallNimbla();
    settle();
    EXPECT_EQ(runner.calls().size(), 3u);
    EXPECT_EQ(privilegedCommands.size(), 1u);

    // The user-level script fails: the privileged one still runs.
    runner.answer("Removing Nimbla domain", {true, "", ""});
    runner.answer(kUserScriptDescription, {false, "", "cannot remove\n"});
    uninstallNimbla();
    settle();
    EXPECT_EQ(privilegedCommands.size(), 2u);

    // The privileged script fails.
    runner.answer(kUserScriptDescription, {true, "", ""});
    privilegedSucceeds = false;
    uninstallNimbla();
    settle();

    EXPECT_EQ(outcomes.names(), (std::vector<std::string>{"UNINSTALL_FAILED", "UNINSTALL_FAILED",
                                                          "UNINSTALL_FAILED"}));
}

TEST_F(Uninstall, MissingScriptsAreSkippedAndFail) {
    uninstallNimbla();
    settle();
    EXPECT_TRUE(logged.appended().ends_with("Starting uninstall\n"));
    EXPECT_EQ(runner.calls().size(), 2u);  // the version read and the domain removal
    EXPECT_TRUE(privilegedCommands.empty());

    // Only the user-level script present: it runs, the missing one fails the run.
    writeExecutable(resources.path() / "uninstall_nimbla_drive", "#!/bin/sh\n");
    uninstallNimbla();
    settle();
    EXPECT_EQ(runner.calls().size(), 5u);
    EXPECT_TRUE(privilegedCommands.empty());
    EXPECT_EQ(outcomes.names(), (std::vector<std::string>{"UNINSTALL_FAILED", "UNINSTALL_FAILED"}));
}

TEST(PrivilegedCommand, OrdinaryPathsAreQuotedAsIs) {
    EXPECT_EQ(privilegedCommandFor(
                  "/opt/nimbla-reset-tool/share/nimbla-reset-tool/uninstall_nimbla_drive_r"),
              "sudo '/opt/nimbla-reset-tool/share/nimbla-reset-tool/uninstall_nimbla_drive_r'");
    EXPECT_EQ(privilegedCommandFor("/Applications/Nimbla Reset Tool.app/Contents/Resources/x (1)"),
              "sudo '/Applications/Nimbla Reset Tool.app/Contents/Resources/x (1)'");
}

TEST(PrivilegedCommand, EscapesForTheShellThenForTheScriptString) {
    EXPECT_EQ(privilegedCommandFor("/a'b"), R"(sudo '/a'\\''b')");
    EXPECT_EQ(privilegedCommandFor("/a\"b"), R"(sudo '/a\"b')");
    EXPECT_EQ(privilegedCommandFor("/a\\b"), R"(sudo '/a\\b')");
    EXPECT_EQ(privilegedCommandFor("/a$(id)`id`;id\tb"), "sudo '/a$(id)`id`;id\tb'");
    EXPECT_EQ(privilegedCommandFor("/a\nb\rc"), R"(sudo '/a\nb\rc')");
}

// The command as it really goes out: built for a bundle folder whose name holds every character
// that could break it, wrapped in the script source, parsed by the scripting service and run as
// root. Exactly the script must run, and nothing else.
TEST(PrivilegedCommand, HostileBundleFolderRunsExactlyTheScript) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root: the scripting service would ask for authorisation";
    }
    TempDir work;
    const fs::path scratch = work.path() / "scratch";  // the shell's working folder
    fs::create_directory(scratch);
    const std::string hostile =
        "Tool 'q' \"dq\" back\\slash $HOME $(touch dollar) `touch tick` ; touch semi ;\n"
        "touch newline \\\" '\\'' end";
    const fs::path folder = work.path() / hostile;
    fs::create_directory(folder);
    const fs::path marker = work.path() / "ran";
    writeExecutable(folder / "uninstall_nimbla_drive_r",
                    "#!/bin/sh\necho \"$0\" > '" + marker.string() + "'\n");

    const std::string script = (folder / "uninstall_nimbla_drive_r").string();
    const std::string source = sudoScriptSource(privilegedCommandFor(script));
    const fs::path before = fs::current_path();
    fs::current_path(scratch);
    const platform::ScriptOutcome outcome = platform::executeAppleScript(source);
    fs::current_path(before);

    ASSERT_FALSE(outcome.error) << outcome.error->description();
    EXPECT_EQ(readFile(marker), script + "\n");
    EXPECT_TRUE(fs::is_empty(scratch));
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(work.path())) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{hostile, "ran", "scratch"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace nimbla
